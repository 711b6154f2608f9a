// What happens when the connection to the X server breaks while the program runs.
#pragma once

namespace tvc::shell {
// After gtk_init: `onLost` runs instead of GDK's exit(1). It must not touch the display and must
// not return. Nothing is installed on a display that is not X11.
void InstallDisplayLossHandler(void (*onLost)());
}  // namespace tvc::shell

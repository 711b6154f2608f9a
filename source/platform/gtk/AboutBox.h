// The About box. Main thread only.
#pragma once

#include <gtk/gtk.h>

#include <functional>

namespace tvc::platform::gtk {
// Opens the box (title "About", modal to `parent`, centred on it while it is on screen) and
// returns at once: the main loop, and with it the page and the WebSocket work, keeps running.
// `onClosed` runs once when the box goes away: Esc, its close button, or `parent`'s destruction.
// False (and `onClosed` not called) when the box cannot be created.
bool ShowAboutBox(GtkWindow* parent, std::function<void()> onClosed);
}  // namespace tvc::platform::gtk

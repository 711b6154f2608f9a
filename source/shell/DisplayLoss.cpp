// Kept apart: Xlib's macros (Bool, Status, None) clash with the program's own names.
#include "shell/DisplayLoss.h"

#include <X11/Xlib.h>
#include <gdk/gdkx.h>

namespace tvc::shell {
namespace {
void (*g_onLost)() = nullptr;

int OnIOError(Display*) {
    if (g_onLost) g_onLost();
    return 0;  // Xlib exits after this
}
}  // namespace

void InstallDisplayLossHandler(void (*onLost)()) {
    if (!GDK_IS_X11_DISPLAY(gdk_display_get_default())) return;
    g_onLost = onLost;
    XSetIOErrorHandler(OnIOError);
}
}  // namespace tvc::shell

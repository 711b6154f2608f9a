// The one top-level window, created hidden; its procedure is CMainWindowProc.
#pragma once

#include <gtk/gtk.h>

namespace tvc::shell {
inline constexpr const char* kWindowClassName = "CEFCLIENT";

// Main thread. Null when the window cannot be created.
GtkWidget* CreateMainWindow(const char* title);
}  // namespace tvc::shell

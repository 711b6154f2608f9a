// The one top-level window, created hidden; its procedure is CMainWindowProc.
#pragma once

#include <gtk/gtk.h>

#include <functional>

namespace tvc::shell {
inline constexpr const char* kWindowClassName = "CEFCLIENT";
// The desktop entry's name: a Wayland compositor finds the entry (and its icon) by the window's
// application id, which GTK takes from the program name whatever the executable is called.
inline constexpr const char* kDesktopEntryName = "tavisto-for-web";

// Main thread. Null when the window cannot be created.
GtkWidget* CreateMainWindow(const char* title);
// Main thread: `task` runs from the main loop once `widget` has drawn its next frame.
void RunAfterNextFrame(GtkWidget* widget, std::function<void()> task);
}  // namespace tvc::shell

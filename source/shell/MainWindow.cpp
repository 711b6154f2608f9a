#include "shell/MainWindow.h"

#include "platform/gtk/WindowMinimumSize.h"

namespace tvc::shell {
GtkWidget* CreateMainWindow(const char* title) {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    if (!window) return nullptr;
    gtk_window_set_title(GTK_WINDOW(window), title);
    gtk_window_set_icon_name(GTK_WINDOW(window), "tavisto-for-web");
    platform::gtk::SetWindowMinimumSizeData(
        window,
        platform::PackMinimumSize(platform::kInitialMinimumWidth, platform::kInitialMinimumHeight));
    platform::gtk::ApplyMinimumSize(window);
    // A created window exists on the display even while hidden.
    gtk_widget_realize(window);
    return window;
}
}  // namespace tvc::shell

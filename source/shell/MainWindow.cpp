#include "shell/MainWindow.h"

#include <memory>

#include "common/TaskRunner.h"
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

void RunAfterNextFrame(GtkWidget* widget, std::function<void()> task) {
    struct Pending {
        std::function<void()> task;
        gulong handler = 0;
    };
    auto pending = std::make_unique<Pending>();
    pending->task = std::move(task);
    Pending* raw = pending.get();
    raw->handler = g_signal_connect_data(
        widget, "draw", G_CALLBACK(+[](GtkWidget* w, cairo_t*, gpointer data) -> gboolean {
            g_signal_handler_disconnect(w, static_cast<Pending*>(data)->handler);
            return FALSE;
        }),
        pending.release(),
        // The handler is gone once the frame is drawn (or the widget is): the task follows on
        // the main loop, outside the drawing.
        [](gpointer data, GClosure*) {
            std::unique_ptr<Pending> p(static_cast<Pending*>(data));
            runner::Post(std::move(p->task));
        },
        G_CONNECT_AFTER);
}
}  // namespace tvc::shell

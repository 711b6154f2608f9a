#include "shell/MainThread.h"

#include <memory>

#include "glibutil/MainLoopTask.h"

namespace tvc::shell {
using Task = std::function<void()>;

void PostToMainThread(std::function<void()> task) {
    glib::PostMainLoopTask(std::move(task));
}

void PostToMainThreadAfter(std::chrono::milliseconds delay, std::function<void()> task) {
    glib::PostMainLoopTask(std::move(task), static_cast<int>(delay.count()));
}

void PostAfterNextFrame(GtkWidget* widget, std::function<void()> task) {
    struct Pending {
        Task task;
        gulong handler = 0;
    };
    auto pending = std::make_unique<Pending>();
    pending->task = std::move(task);
    Pending* raw = pending.get();
    raw->handler = g_signal_connect_data(
        widget, "draw", G_CALLBACK(+[](GtkWidget* w, cairo_t*, gpointer data) -> gboolean {
            auto* p = static_cast<Pending*>(data);
            g_signal_handler_disconnect(w, p->handler);  // frees `p` through the closure notify
            return FALSE;
        }),
        pending.release(),
        [](gpointer data, GClosure*) {
            std::unique_ptr<Pending> p(static_cast<Pending*>(data));
            // After the frame is drawn (the handler is gone once it ran), the task follows.
            PostToMainThread(std::move(p->task));
        },
        G_CONNECT_AFTER);
}
}  // namespace tvc::shell

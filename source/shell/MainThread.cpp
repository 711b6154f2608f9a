#include "shell/MainThread.h"

#include <memory>

namespace tvc::shell {
namespace {
using Task = std::function<void()>;

gboolean RunTask(gpointer data) {
    (*static_cast<Task*>(data))();
    return G_SOURCE_REMOVE;
}

void FreeTask(gpointer data) {
    std::unique_ptr<Task>(static_cast<Task*>(data));
}
}  // namespace

void PostToMainThread(std::function<void()> task) {
    // Idle sources of one priority run in the order they were added, which keeps arrival order.
    g_idle_add_full(G_PRIORITY_DEFAULT, RunTask, std::make_unique<Task>(std::move(task)).release(),
                    FreeTask);
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

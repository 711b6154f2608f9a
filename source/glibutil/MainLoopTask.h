// A task handed to the process's default GLib main context (the thread that runs its main loop).
#pragma once

#include <glib.h>

#include <functional>
#include <memory>

namespace tvc::glib {

// Any thread. Tasks of one delay run in the order they were posted. False when nothing was queued.
inline bool PostMainLoopTask(std::function<void()> task, int delayMs = 0) {
    using Task = std::function<void()>;
    if (!task) return false;
    auto owned = std::make_unique<Task>(std::move(task));
    GSourceFunc run = [](gpointer data) -> gboolean {
        (*static_cast<Task*>(data))();
        return G_SOURCE_REMOVE;
    };
    GDestroyNotify destroy = [](gpointer data) { std::unique_ptr<Task>(static_cast<Task*>(data)); };
    guint id = delayMs > 0 ? g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(delayMs),
                                                run, owned.get(), destroy)
                           : g_idle_add_full(G_PRIORITY_DEFAULT, run, owned.get(), destroy);
    if (id == 0) return false;
    owned.release();  // the source's destroy notify owns it now
    return true;
}
}  // namespace tvc::glib

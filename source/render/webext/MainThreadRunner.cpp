#include "render/webext/MainThreadRunner.h"

#include <glib.h>

#include <memory>

namespace tvc::render::webext {
namespace {
using Task = std::function<void()>;

gboolean RunTask(gpointer data) {
    (*static_cast<Task*>(data))();
    return G_SOURCE_REMOVE;
}

void DestroyTask(gpointer data) {
    std::unique_ptr<Task> owned(static_cast<Task*>(data));
}
}  // namespace

bool CMainThreadRunner::PostTask(std::function<void()> task, int delayMs) {
    if (!task) return false;
    auto owned = std::make_unique<Task>(std::move(task));
    // g_timeout_add_full/g_idle_add_full attach to the default main context and are thread-safe.
    guint id = delayMs > 0 ? g_timeout_add_full(G_PRIORITY_DEFAULT, static_cast<guint>(delayMs),
                                                RunTask, owned.get(), DestroyTask)
                           : g_idle_add_full(G_PRIORITY_DEFAULT, RunTask, owned.get(), DestroyTask);
    if (id == 0) return false;
    owned.release();  // the source's destroy notify owns it now
    return true;
}
}  // namespace tvc::render::webext

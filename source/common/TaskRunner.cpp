#include "common/TaskRunner.h"

#include <glib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <utility>

namespace tvc::runner {
namespace {
// Static initialisation runs on the thread that starts the process, before any other exists.
const std::thread::id g_mainThread = std::this_thread::get_id();

using Task = std::function<void()>;

gboolean RunOnce(gpointer data) {
    (*static_cast<Task*>(data))();
    return G_SOURCE_REMOVE;
}

void DeleteTask(gpointer data) {
    std::unique_ptr<Task>(static_cast<Task*>(data));
}

// A new source on the default context, owning `task`; the caller gets one reference.
GSource* Attach(GSource* source, Task task) {
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, RunOnce, std::make_unique<Task>(std::move(task)).release(),
                          DeleteTask);
    g_source_attach(source, g_main_context_default());
    return source;
}
guint Millis(std::chrono::milliseconds delay) {
    return static_cast<guint>(std::max<std::chrono::milliseconds::rep>(0, delay.count()));
}
}  // namespace

DelayedTask::DelayedTask(DelayedTask&& other) noexcept
    : m_source(std::exchange(other.m_source, nullptr)) {}

DelayedTask& DelayedTask::operator=(DelayedTask&& other) noexcept {
    if (this != &other) {
        Cancel();
        m_source = std::exchange(other.m_source, nullptr);
    }
    return *this;
}

DelayedTask::~DelayedTask() {
    Cancel();
}

bool DelayedTask::Pending() const {
    return m_source && !g_source_is_destroyed(m_source);
}

void DelayedTask::Cancel() {
    if (!m_source) return;
    g_source_destroy(m_source);
    g_source_unref(std::exchange(m_source, nullptr));
}

void Post(std::function<void()> task) {
    if (task) g_source_unref(Attach(g_idle_source_new(), std::move(task)));
}

DelayedTask PostDelayed(std::chrono::milliseconds delay, std::function<void()> task) {
    if (!task) return {};
    return DelayedTask(Attach(g_timeout_source_new(Millis(delay)), std::move(task)));
}

void PostDelayedDetached(std::chrono::milliseconds delay, std::function<void()> task) {
    if (task) g_source_unref(Attach(g_timeout_source_new(Millis(delay)), std::move(task)));
}

bool OnMainThread() {
    return std::this_thread::get_id() == g_mainThread;
}

#ifndef NDEBUG
void AssertOnMainThread() {
    if (OnMainThread()) return;
    std::fputs("main-thread code called from another thread\n", stderr);
    std::abort();
}
#endif

}  // namespace tvc::runner

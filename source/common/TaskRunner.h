// The one way work reaches the main thread: the thread that runs the default GLib main context,
// which GTK, WebKit, the WebSocket listener and every decision of this program share.
#pragma once

#include <chrono>
#include <functional>

typedef struct _GSource GSource;

namespace tvc::runner {

// A delayed task that has not run yet can be cancelled through its handle; dropping the handle
// cancels it too, so a task never outlives the object that keeps its handle.
class DelayedTask {
  public:
    DelayedTask() = default;
    DelayedTask(DelayedTask&& other) noexcept;
    DelayedTask& operator=(DelayedTask&& other) noexcept;
    DelayedTask(const DelayedTask&) = delete;
    DelayedTask& operator=(const DelayedTask&) = delete;
    ~DelayedTask();

    // True until the task has run or been cancelled.
    bool Pending() const;
    void Cancel();

  private:
    friend DelayedTask PostDelayed(std::chrono::milliseconds, std::function<void()>);
    explicit DelayedTask(GSource* source) : m_source(source) {}
    GSource* m_source = nullptr;  // one reference of ours
};

// Any thread. Tasks run on the main thread, in the order one thread posted them.
void Post(std::function<void()> task);
// Any thread. Runs `task` on the main thread once `delay` has passed, unless the handle was
// cancelled or dropped first.
[[nodiscard]] DelayedTask PostDelayed(std::chrono::milliseconds delay, std::function<void()> task);
// Like PostDelayed, for a task that must run whoever holds what: nothing can cancel it.
void PostDelayedDetached(std::chrono::milliseconds delay, std::function<void()> task);

// Debug builds abort when called off the main thread (the thread that started the process).
#ifdef NDEBUG
inline void AssertOnMainThread() {}
#else
void AssertOnMainThread();
#endif
bool OnMainThread();

}  // namespace tvc::runner

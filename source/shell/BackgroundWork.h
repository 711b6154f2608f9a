// Speculative work on a thread the scheduler serves last, which is lifted back to its waiter's
// priority as soon as anyone needs it: a waiter never waits on a thread of lower priority.
#pragma once

#include <sys/types.h>

#include <functional>
#include <mutex>
#include <thread>

namespace tvc::shell {

class CBackgroundWork {
  public:
    // The nice value the work runs at until it is needed.
    static constexpr int kIdleNice = 19;

    explicit CBackgroundWork(std::function<void()> work);
    // Waits for the work (lifted first).
    ~CBackgroundWork();
    CBackgroundWork(const CBackgroundWork&) = delete;
    CBackgroundWork& operator=(const CBackgroundWork&) = delete;

    // Any thread but the work's: from now on the work runs at the caller's priority.
    void Lift();
    // Lift, then wait for the work to end. Once only.
    void Wait();

    // Whether a thread lowered to kIdleNice could be given `nice` back: without CAP_SYS_NICE the
    // RLIMIT_NICE limit (0 by default) forbids lowering a nice value at all. Where it cannot, the
    // work keeps its starter's priority instead.
    static bool CanRegainNice(int nice);

  private:
    // Guards the three below between the work's thread and a waiting one.
    std::mutex m_lock;
    pid_t m_tid = 0;        // the work's thread, once it has lowered itself
    bool m_needed = false;  // someone waits: the work no longer lowers itself
    std::thread m_thread;
};
}  // namespace tvc::shell

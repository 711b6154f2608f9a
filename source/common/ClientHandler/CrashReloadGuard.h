// Decides whether a crashed web process may be brought back by another load.
#pragma once

#include <chrono>
#include <deque>
#include <functional>

namespace tvc {
// A page that crashes its web process on every load would otherwise make us reload it forever,
// each round starting a new process. We allow kMaxReloads reloads within any kWindow; a crash
// beyond that is left alone, and reloading resumes once the earlier crashes age out of the window.
// Main thread only.
class CCrashReloadGuard {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr int kMaxReloads = 3;
    static constexpr std::chrono::seconds kWindow{60};

    explicit CCrashReloadGuard(std::function<Clock::time_point()> now = [] { return Clock::now(); })
        : m_now(std::move(now)) {}

    // True (and the reload counted) when another reload is allowed now.
    bool TryAcquireReload();
    int RecentReloads() const { return static_cast<int>(m_reloads.size()); }
    // How long until TryAcquireReload would allow a reload again (zero when it would now).
    Clock::duration UntilNextReload() const;

  private:
    std::function<Clock::time_point()> m_now;
    std::deque<Clock::time_point> m_reloads;
};
}  // namespace tvc

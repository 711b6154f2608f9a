#include "common/ClientHandler/CrashReloadGuard.h"

namespace tvc {
bool CCrashReloadGuard::TryAcquireReload() {
    const auto now = m_now();
    while (!m_reloads.empty() && now - m_reloads.front() >= kWindow) m_reloads.pop_front();
    if (static_cast<int>(m_reloads.size()) >= kMaxReloads) return false;
    m_reloads.push_back(now);
    return true;
}

CCrashReloadGuard::Clock::duration CCrashReloadGuard::UntilNextReload() const {
    if (static_cast<int>(m_reloads.size()) < kMaxReloads) return Clock::duration::zero();
    const auto left = m_reloads[m_reloads.size() - kMaxReloads] + kWindow - m_now();
    return left > Clock::duration::zero() ? left : Clock::duration::zero();
}
}  // namespace tvc

#include "common/ClientHandler/CrashReloadGuard.h"

namespace tvc {
bool CCrashReloadGuard::TryAcquireReload() {
    const auto now = m_now();
    while (!m_reloads.empty() && now - m_reloads.front() >= kWindow) m_reloads.pop_front();
    if (static_cast<int>(m_reloads.size()) >= kMaxReloads) return false;
    m_reloads.push_back(now);
    return true;
}
}  // namespace tvc

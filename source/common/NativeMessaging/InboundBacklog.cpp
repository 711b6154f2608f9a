#include "common/NativeMessaging/InboundBacklog.h"

#include <algorithm>

// Keeps the backlog alive: a hold may end after the listener and the manager are gone.
struct CInboundBacklog::SHold {
    SHold(std::shared_ptr<CInboundBacklog> owner, size_t n) : backlog(std::move(owner)), bytes(n) {}
    SHold(const SHold&) = delete;
    SHold& operator=(const SHold&) = delete;
    ~SHold() { backlog->Release(bytes); }

    const std::shared_ptr<CInboundBacklog> backlog;
    const size_t bytes;
};

CInboundBacklog::Hold CInboundBacklog::Add(size_t bytes) {
    m_bytes += bytes;
    m_peak = std::max(m_peak, m_bytes);
    return std::make_shared<SHold>(shared_from_this(), bytes);
}

bool CInboundBacklog::PauseIfFull() {
    if (m_bytes >= kPauseBytes) m_bPaused = true;
    return m_bPaused;
}

void CInboundBacklog::SetHandlers(std::function<void()> onResume, std::function<void()> onDrained) {
    m_onResume = std::move(onResume);
    m_onDrained = std::move(onDrained);
}

void CInboundBacklog::Release(size_t bytes) {
    m_bytes -= std::min(bytes, m_bytes);
    bool bResumed = false, bDrained = false;
    if (m_bPaused && m_bytes <= kResumeBytes) {
        m_bPaused = false;
        bResumed = true;
    }
    if (m_bytes == 0) {
        bDrained = m_peak >= kDrainedReportBytes;
        m_peak = 0;
    }
    if (bResumed && m_onResume) m_onResume();
    if (bDrained && m_onDrained) m_onDrained();
}

#include "common/ClientHandler/LoadRecovery.h"

#include <algorithm>
#include <utility>

#include "engine/Client.h"

namespace tvc {
bool CLoadRecovery::IsNetworkFailure(int errorCode) {
    switch (errorCode) {
        case engine::kErrorNameNotResolved:
        case engine::kErrorConnectionRefused:
        case engine::kErrorConnectionFailed:
        case engine::kErrorAddressUnreachable:
        case engine::kErrorInternetDisconnected:
        case engine::kErrorTimedOut:
        case engine::kErrorConnectionTimedOut:
        case engine::kErrorNetworkChanged:
            return true;
        default:
            return false;
    }
}

std::chrono::seconds CLoadRecovery::WaitBefore(int attempt) {
    const int last = static_cast<int>(kWaits.size()) - 1;
    return kWaits[static_cast<size_t>(std::clamp(attempt, 0, last))];
}

std::optional<CLoadRecovery::Try> CLoadRecovery::OnLoadFailed(const std::string& url,
                                                              int errorCode) {
    if (!IsNetworkFailure(errorCode)) {
        Stop();
        return std::nullopt;
    }
    if (m_state == State::Idle || url != m_url) {
        m_url = url;
        m_attempt = 0;
    }
    m_state = State::Waiting;
    return Try{++m_ticket, WaitBefore(m_attempt)};
}

std::string CLoadRecovery::TakeDue(unsigned ticket) {
    if (m_state != State::Waiting || ticket != m_ticket) return "";
    m_state = State::Loading;
    ++m_attempt;
    return m_url;
}

std::string CLoadRecovery::TakeNow() {
    return m_state == State::Waiting ? TakeDue(m_ticket) : "";
}

bool CLoadRecovery::OnLoadStarted(const std::string& url) {
    if (std::exchange(m_errorPageNext, false)) {
        m_showingErrorPage = true;
        return false;
    }
    m_showingErrorPage = false;
    if (m_state == State::Idle) return false;
    if (url != m_url) {
        Stop();
        return true;
    }
    // The failed address again, by another road (a reload key): it is this round's try.
    if (m_state == State::Waiting) TakeDue(m_ticket);
    return false;
}

CLoadRecovery::Commit CLoadRecovery::OnLoadCommitted() {
    if (m_showingErrorPage) return Commit::OwnPage;
    const bool recovering = m_state != State::Idle;
    Stop();
    return recovering ? Commit::Recovered : Commit::Other;
}
}  // namespace tvc

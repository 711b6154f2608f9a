// How far a download may go: its size, how long it may wait for data and how long it may take. The
// client sets them with the destination; the engine adapter applies them while the body streams.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace tvc::engine {
inline constexpr std::chrono::milliseconds kDefaultDownloadStallLimit{60000};

struct DownloadLimits {
    std::int64_t maxBytes = -1;                                         // -1: no size limit
    std::chrono::milliseconds stallLimit = kDefaultDownloadStallLimit;  // 0: none
    // From the download's start; a server trickling a byte a minute never stalls. 0: none.
    std::chrono::milliseconds deadline{0};
};

// Where the client wants a download written; an empty path cancels it.
struct DownloadTarget {
    std::string path;
    DownloadLimits limits;
};

// One download judged against its limits, piece by piece and tick by tick. Progress is worth a
// report at most once a second: a large body arrives in thousands of pieces.
class DownloadWatch {
  public:
    using Clock = std::chrono::steady_clock;
    enum class Verdict { kQuiet, kReportProgress, kTooLarge, kStalled, kOverdue };
    static constexpr std::chrono::seconds kProgressInterval{1};

    DownloadWatch(DownloadLimits limits, Clock::time_point now)
        : m_limits(limits), m_start(now), m_lastData(now), m_lastReport(now) {}

    // The client's limits, once it has chosen the destination: the deadline counts from the start.
    void SetLimits(DownloadLimits limits, Clock::time_point now) {
        m_limits = limits;
        m_lastData = m_lastReport = now;
    }

    // `announced`: the body's length as the server gave it, -1 when it gave none. A length over
    // the limit is refused before the first byte.
    Verdict OnData(std::int64_t received, std::int64_t announced, Clock::time_point now) {
        if (m_limits.maxBytes >= 0 &&
            (received > m_limits.maxBytes || announced > m_limits.maxBytes))
            return Verdict::kTooLarge;
        if (received != m_received) {
            m_received = received;
            m_lastData = now;
        }
        if (now - m_lastReport < kProgressInterval) return Verdict::kQuiet;
        m_lastReport = now;
        return Verdict::kReportProgress;
    }

    Verdict OnTick(Clock::time_point now) const {
        if (m_limits.deadline.count() > 0 && now - m_start >= m_limits.deadline)
            return Verdict::kOverdue;
        return m_limits.stallLimit.count() > 0 && now - m_lastData >= m_limits.stallLimit
                   ? Verdict::kStalled
                   : Verdict::kQuiet;
    }

    // Why a download with this verdict is cancelled, for the log.
    std::string Refusal(Verdict verdict) const {
        if (verdict == Verdict::kTooLarge)
            return "larger than its limit of " + std::to_string(m_limits.maxBytes) + " bytes";
        if (verdict == Verdict::kOverdue)
            return "not done within " + std::to_string(m_limits.deadline.count()) + " ms";
        return "no data for " + std::to_string(m_limits.stallLimit.count()) + " ms";
    }

    const DownloadLimits& Limits() const { return m_limits; }

  private:
    DownloadLimits m_limits;
    Clock::time_point m_start;
    std::int64_t m_received = 0;
    Clock::time_point m_lastData;
    Clock::time_point m_lastReport;
};
}  // namespace tvc::engine

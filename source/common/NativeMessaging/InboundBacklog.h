// Inbound text that the peer sent and the page has not taken yet. The listener reads from the
// socket only while the backlog is under kPauseBytes; a paused listener reads again once the
// backlog is down to kResumeBytes. A flood thus waits in the peer's socket, not in our memory.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

class CInboundBacklog : public std::enable_shared_from_this<CInboundBacklog> {
  public:
    static constexpr size_t kPauseBytes = 16u * 1024 * 1024;
    static constexpr size_t kResumeBytes = kPauseBytes / 2;
    // A backlog that reached this much is followed by giving memory back once it is empty.
    static constexpr size_t kDrainedReportBytes = 4u * 1024 * 1024;

    // The text stays counted until the hold and every copy of it are gone: whoever carries the
    // text towards the page keeps one until the page has it.
    using Hold = std::shared_ptr<const void>;
    Hold Add(size_t bytes);

    // Reader: true when reading must stop now. From then on IsPaused() holds until the backlog
    // is down to kResumeBytes.
    bool PauseIfFull();
    bool IsPaused() const { return m_bPaused; }
    size_t GetBytes() const { return m_bytes; }

    // `onResume` (a pause ended: the reader may read again) and `onDrained` (the backlog is empty
    // after holding at least kDrainedReportBytes) run where the hold that allowed it ends.
    void SetHandlers(std::function<void()> onResume, std::function<void()> onDrained);

  private:
    struct SHold;
    void Release(size_t bytes);

    size_t m_bytes = 0;
    size_t m_peak = 0;  // since the backlog was last empty
    bool m_bPaused = false;
    std::function<void()> m_onResume;
    std::function<void()> m_onDrained;
};

// Log lines gathered in memory and handed to the file in batches. A write per line made logging
// the larger part of an inter-app message's cost; a batch leaves within kFlushInterval of its
// first line, within kUrgentDelay of an urgent one, at Flush, and at once when the buffer passes
// kFlushBytes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

class CBufferedLogWriter {
  public:
    // Takes batches of whole lines, in the order they were appended; called by one thread at a
    // time.
    using Sink = std::function<void(const char* data, size_t size)>;
    static constexpr std::chrono::milliseconds kFlushInterval{50};
    // Short, yet a flood of urgent lines still makes one write per delay, not one per line.
    static constexpr std::chrono::milliseconds kUrgentDelay{2};
    static constexpr size_t kFlushBytes = 256 * 1024;

    explicit CBufferedLogWriter(Sink sink);
    ~CBufferedLogWriter();
    CBufferedLogWriter(const CBufferedLogWriter&) = delete;
    CBufferedLogWriter& operator=(const CBufferedLogWriter&) = delete;

    // Any thread. Never waits for the file.
    void Append(std::string_view line, bool bUrgent = false);
    // Any thread: every line appended before the call has reached the sink when it returns.
    void Flush();
    // Ends the flushing thread and hands over what is left; later lines wait for Flush.
    void Close();
    // Close, waiting at most `wait` for the flushing thread; false when it is still inside the sink
    // then (a file that takes nothing, on a hung disk). The thread is left running and this object
    // must then outlive it: it is never destroyed.
    bool CloseWithin(std::chrono::milliseconds wait);
    // Any thread, never writing itself: asks the flushing thread for every line appended so far and
    // waits at most `wait` for the sink to have taken them; false when it had not.
    bool FlushWithin(std::chrono::milliseconds wait);
    // From a fatal-signal handler: hands over what is buffered, waiting only briefly for a lock
    // that a thread in the middle of a write holds (the crashed thread may be that one).
    void FlushForCrash();

  private:
    void Run();
    void WriteOut();
    bool WaitStopped(std::unique_lock<std::timed_mutex>& lock, std::chrono::milliseconds wait);

    const Sink m_sink;
    std::timed_mutex m_sinkLock;  // one batch at a time, in order; taken before m_lock
    std::timed_mutex m_lock;      // guards the fields below
    std::condition_variable_any m_wake;
    std::condition_variable_any m_progress;  // a batch reached the sink, or the thread stopped
    std::string m_buffer;
    std::uint64_t m_appended = 0;  // bytes ever appended, and ever taken by the sink
    std::uint64_t m_written = 0;
    bool m_bUrgent = false;
    bool m_bStop = false;
    bool m_bStopped = false;  // the flushing thread has handed over its last batch
    std::thread m_thread;     // last: starts once everything above exists
};

#include "common/LogWriter.h"

namespace {
// Long enough for a write in progress on another thread to end; short enough for a crash report.
constexpr std::chrono::milliseconds kCrashLockWait{200};
}  // namespace

CBufferedLogWriter::CBufferedLogWriter(Sink sink)
    : m_sink(std::move(sink)), m_thread([this] { Run(); }) {}

CBufferedLogWriter::~CBufferedLogWriter() {
    Close();
}

void CBufferedLogWriter::Close() {
    CloseWithin(std::chrono::milliseconds::max());
}

bool CBufferedLogWriter::CloseWithin(std::chrono::milliseconds wait) {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) {
        std::unique_lock<std::timed_mutex> lock(m_lock);
        m_bStop = true;
        m_wake.notify_one();
        if (!WaitStopped(lock, wait)) return false;
        lock.unlock();
        m_thread.join();
    } else {
        std::lock_guard<std::timed_mutex> lock(m_lock);
        m_bStop = true;
    }
    WriteOut();
    return true;
}

bool CBufferedLogWriter::WaitStopped(std::unique_lock<std::timed_mutex>& lock,
                                     std::chrono::milliseconds wait) {
    auto stopped = [this] { return m_bStopped; };
    if (wait == std::chrono::milliseconds::max()) {
        m_progress.wait(lock, stopped);
        return true;
    }
    return m_progress.wait_for(lock, wait, stopped);
}

bool CBufferedLogWriter::FlushWithin(std::chrono::milliseconds wait) {
    std::unique_lock<std::timed_mutex> lock(m_lock);
    const std::uint64_t target = m_appended;
    if (m_written >= target) return true;
    m_bUrgent = true;
    m_wake.notify_one();
    return m_progress.wait_for(lock, wait, [this, target] { return m_written >= target; });
}

void CBufferedLogWriter::Append(std::string_view line, bool bUrgent) {
    bool bWake = false;
    {
        std::lock_guard<std::timed_mutex> lock(m_lock);
        // The flusher waits for a first line, then for the interval, an urgent line or a full
        // buffer.
        bWake = m_buffer.empty() || (bUrgent && !m_bUrgent) ||
                (m_buffer.size() < kFlushBytes && m_buffer.size() + line.size() >= kFlushBytes);
        m_bUrgent = m_bUrgent || bUrgent;
        m_buffer.append(line);
        m_appended += line.size();
    }
    if (bWake) m_wake.notify_one();
}

void CBufferedLogWriter::Flush() {
    WriteOut();
}

void CBufferedLogWriter::WriteOut() {
    std::lock_guard<std::timed_mutex> sinkLock(m_sinkLock);
    std::string batch;
    {
        std::lock_guard<std::timed_mutex> lock(m_lock);
        batch.swap(m_buffer);
        m_bUrgent = false;
    }
    if (batch.empty()) return;
    m_sink(batch.data(), batch.size());
    {
        std::lock_guard<std::timed_mutex> lock(m_lock);
        m_written += batch.size();
    }
    m_progress.notify_all();
}

void CBufferedLogWriter::FlushForCrash() {
    std::unique_lock<std::timed_mutex> sinkLock(m_sinkLock, kCrashLockWait);
    // Without the sink's lock the crash most likely came in the middle of a write, whose own lock
    // would never be released; without the buffer's lock, in the middle of an append.
    if (!sinkLock.owns_lock()) return;
    std::unique_lock<std::timed_mutex> lock(m_lock, kCrashLockWait);
    if (!lock.owns_lock() || m_buffer.empty()) return;
    m_sink(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
}

void CBufferedLogWriter::Run() {
    std::unique_lock<std::timed_mutex> lock(m_lock);
    while (!m_bStop) {
        m_wake.wait(lock, [this] { return m_bStop || !m_buffer.empty(); });
        if (!m_bStop) {
            m_wake.wait_for(lock, kFlushInterval, [this] {
                return m_bStop || m_bUrgent || m_buffer.size() >= kFlushBytes;
            });
            if (m_bUrgent) m_wake.wait_for(lock, kUrgentDelay, [this] { return m_bStop; });
        }
        lock.unlock();
        WriteOut();
        lock.lock();
    }
    m_bStopped = true;
    m_progress.notify_all();
}

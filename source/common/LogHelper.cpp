#include "common/LogHelper.h"

#include <glog/logging.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/filesystem.hpp>
#include <chrono>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "common/AppInfo.h"
#include "common/LogWriter.h"
#include "common/PeerErrorGate.h"

namespace {
constexpr size_t kFormatBufferSize = 10240;
constexpr size_t kDebugBufferSize = 0x100000;

// Lines come from the main thread, the quit watchdog and the GL warm-up; the main thread starts
// and ends the logger, and the atexit flush may run on any of them.
std::mutex s_initMutex;  // guards InitLogger / DeInitLogger / Flush against each other
// Whether lines go to the file. A line is handed over under the shared lock and the logger ends
// under the exclusive one, so no line reaches a writer or a glog that has been shut down.
std::shared_mutex s_stateLock;
bool s_bIsLogHelperIntialized = false;
// How long the end of the logger waits for a file that takes nothing (a hung disk) before it
// lets the writer go.
constexpr std::chrono::seconds kWriterCloseWait{2};

// The folder of this process's file, and how much was written since the folder was last capped.
constexpr std::uintmax_t kCapCheckEveryBytes = 1024 * 1024;
std::mutex s_folderLock;  // s_logFolder: set by the main thread, read by whichever thread logs
std::string s_logFolder;
std::atomic<std::uintmax_t> s_bytesSinceCap{0};

// The file's writer, and the pointer appends and the fatal-signal handler read: set while the
// logger is initialised.
std::atomic<CBufferedLogWriter*> s_pWriter{nullptr};
struct SWriterHolder {
    std::unique_ptr<CBufferedLogWriter> writer;
    // Destructors of other statics may log after this one has run: they find no writer and write
    // their line at once, instead of appending to a freed one.
    ~SWriterHolder() {
        s_pWriter = nullptr;
        writer.reset();
    }
} s_writer;

void WriteToLogFile(const char* data, size_t size) {
    // glog's own file object names, rotates and stops on a full disk as it did line by line. It
    // names a new file by the second passed here and refuses a name that exists, dropping lines
    // until a later try: a flood that fills two files within one second would lose lines. So each
    // new file is given a later second than the one before.
    static std::mutex s_lock;  // the writer's thread, or any thread without a writer
    static std::time_t s_lastFileSecond = 0;
    std::lock_guard<std::mutex> lock(s_lock);
    google::base::Logger* logger = google::base::GetLogger(google::GLOG_INFO);
    const std::time_t second = std::max(std::time(nullptr), s_lastFileSecond + 1);
    const auto before = logger->LogSize();
    logger->Write(true, second, data, size);
    if (before == 0 || logger->LogSize() < before) s_lastFileSecond = second;  // a new file
}

// glog's line layout ("W20261207 14:35:44.123456 18695 Splash.cpp:120] text"), made here:
// glog's own stats /etc/localtime for every line. The date and time are kept per thread and second.
std::string FormatLine(char severity, const char* file, int line, const std::string& text) {
    struct SClock {
        std::time_t second = -1;
        char text[32] = {};
    };
    thread_local SClock clock;
    thread_local const long threadId = ::syscall(SYS_gettid);
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    if (now.tv_sec != clock.second) {
        std::tm local{};
        ::localtime_r(&now.tv_sec, &local);
        std::strftime(clock.text, sizeof(clock.text), "%Y%m%d %H:%M:%S", &local);
        clock.second = now.tv_sec;
    }
    if (const char* slash = std::strrchr(file, '/')) file = slash + 1;
    char head[160];
    const int n = std::snprintf(head, sizeof(head), "%c%s.%06ld %5ld %.60s:%d] ", severity,
                                clock.text, now.tv_nsec / 1000, threadId, file, line);
    std::string out;
    out.reserve(static_cast<size_t>(n) + text.size() + 1);
    out.append(head, static_cast<size_t>(n)).append(text);
    if (out.back() != '\n') out.push_back('\n');
    return out;
}

// Without a writer (a process that logs little) each line is written at once. With one, an error
// reaches the file within milliseconds, with everything logged before it.
void Append(char severity, const char* file, int line, const std::string& text) {
    const std::string formatted = FormatLine(severity, file, line, text);
    if (CBufferedLogWriter* writer = s_pWriter.load())
        writer->Append(formatted, severity == 'E');
    else
        WriteToLogFile(formatted.data(), formatted.size());
}

// A crash hands over what is still buffered, then goes on as it would have without us.
constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
struct sigaction s_previousActions[sizeof(kFatalSignals) / sizeof(kFatalSignals[0])];

void OnFatalSignal(int signal, siginfo_t* info, void* context) {
    static std::atomic<bool> s_bFlushed{false};
    if (CBufferedLogWriter* writer = s_pWriter.load(); writer && !s_bFlushed.exchange(true))
        writer->FlushForCrash();
    for (size_t i = 0; i < std::size(kFatalSignals); ++i) {
        if (kFatalSignals[i] != signal) continue;
        const struct sigaction& previous = s_previousActions[i];
        if ((previous.sa_flags & SA_SIGINFO) && previous.sa_sigaction) {
            previous.sa_sigaction(signal, info, context);
            return;
        }
        if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
            previous.sa_handler(signal);
            return;
        }
        ::sigaction(signal, &previous, nullptr);
        ::raise(signal);
        return;
    }
}

void InstallFatalSignalFlush() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (size_t i = 0; i < std::size(kFatalSignals); ++i) {
            struct sigaction action {};
            action.sa_sigaction = OnFatalSignal;
            action.sa_flags = SA_SIGINFO | SA_ONSTACK;
            sigemptyset(&action.sa_mask);
            ::sigaction(kFatalSignals[i], &action, &s_previousActions[i]);
        }
        std::atexit([] { CLogHelper::Flush(); });
    });
}

void CountWritten(size_t bytes) {
    if (s_bytesSinceCap.fetch_add(bytes) + bytes < kCapCheckEveryBytes) return;
    std::unique_lock<std::mutex> lock(s_folderLock, std::try_to_lock);
    if (!lock.owns_lock() || s_logFolder.empty()) return;  // another thread is on it
    s_bytesSinceCap = 0;
    CLogHelper::CapLogFolder(s_logFolder, CLogHelper::kLogFolderCapBytes);
}

// A line a peer's input caused goes to standard error only through the gate; the first one after
// some were held back says how many.
// Main thread only: a peer's input is handled there alone (CPeerInputLogScope checks it).
bool PassesPeerGate(const std::string& text, std::string& note) {
    static CPeerErrorGate s_gate;
    unsigned heldBack = 0;
    if (!s_gate.Admit(text, CPeerErrorGate::Clock::now(), heldBack)) return false;
    if (heldBack > 0)
        note = " (" + std::to_string(heldBack) +
               " more like this in the last minute are in the log file only)";
    return true;
}

// Standard error is for a person watching the program start: once the log file is open only
// errors go there too; everything else is in the file.
void Emit(int level, const std::string& text, const char* file, int line) {
    if (text.empty()) return;  // below the minimum level
    bool inFile = false;
    {
        std::shared_lock<std::shared_mutex> state(s_stateLock);
        if (s_bIsLogHelperIntialized) {
            const char severity = level == CLogHelper::eInfo      ? 'I'
                                  : level == CLogHelper::eWarning ? 'W'
                                                                  : 'E';
            Append(severity, file, line, text);
            inFile = true;
        }
    }
    if (inFile) {
        CountWritten(text.size() + 40);
        if (level < CLogHelper::eError) return;
    }
    std::string note;
    if (CPeerInputLogScope::IsActive() && !PassesPeerGate(text, note)) return;
    if (note.empty())
        DebugPrint("%s", text.c_str());
    else
        DebugPrint("%s%s", text.substr(0, text.find_last_not_of('\n') + 1).c_str(), note.c_str());
}

std::string VFormat(size_t cap, const char* format, va_list args) {
    // Most texts are short: format on the stack and only allocate for the long ones.
    char small[1024];
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(small, sizeof(small), format, copy);
    va_end(copy);
    if (n < 0) return {};
    size_t length = std::min(static_cast<size_t>(n), cap - 1);
    if (static_cast<size_t>(n) < sizeof(small)) return std::string(small, length);
    std::string text(length + 1, '\0');
    std::vsnprintf(text.data(), length + 1, format, args);
    text.resize(length);
    return text;
}
}  // namespace

void DebugPrint(const char* format, ...) {
    if (!format) return;
    va_list args;
    va_start(args, format);
    std::string text = VFormat(kDebugBufferSize, format, args);
    va_end(args);
    if (text.empty() || text.back() != '\n') text.push_back('\n');
    std::fputs(text.c_str(), stderr);
}

std::string CLogHelper::GetFormattedString(int level, const char* format, ...) {
    if (level < FLAGS_minloglevel) return {};
    if (!format) {
        DebugPrint("%s : ERROR : argFormat is NULL.", TVC_FN);
        return {};
    }
    va_list args;
    va_start(args, format);
    std::string text = VFormat(kFormatBufferSize, format, args);
    va_end(args);
    return text;
}

// Before the logger is initialised glog would only echo to standard error, which DebugPrint
// already does, so the text goes to glog only once a file is open.
void CLogHelper::LogInfo(const std::string& text, const char* file, int line) {
    Emit(eInfo, text, file, line);
}

void CLogHelper::LogWarning(const std::string& text, const char* file, int line) {
    Emit(eWarning, text, file, line);
}

void CLogHelper::LogError(const std::string& text, const char* file, int line) {
    Emit(eError, text, file, line);
}

std::string CLogHelper::MessageExcerpt(const std::string& text, size_t maxBytes) {
    std::string lowered(text);
    for (char& c : lowered)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (const char* secret : {"cookie", "authorization", "password"})
        if (lowered.find(secret) != std::string::npos)
            return "(" + std::to_string(text.size()) + " bytes, not shown: it may carry " + secret +
                   " data)";
    return Excerpt(text, maxBytes);
}

std::uintmax_t CLogHelper::CapLogFolder(const std::string& folder, std::uintmax_t capBytes) {
    namespace fs = boost::filesystem;
    struct Entry {
        fs::path path;
        std::time_t mtime;
        std::uintmax_t size;
        std::string writer;  // glog's file names end in ".<pid>"
    };
    std::vector<Entry> entries;
    std::uintmax_t total = 0;
    boost::system::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (!fs::is_regular_file(it->status())) continue;
        Entry e{it->path(), fs::last_write_time(it->path(), ec), fs::file_size(it->path(), ec), ""};
        if (ec) continue;
        const std::string name = e.path.filename().string();
        const auto dot = name.rfind('.');
        if (dot != std::string::npos && dot + 1 < name.size() &&
            name.find_first_not_of("0123456789", dot + 1) == std::string::npos)
            e.writer = name.substr(dot + 1);
        total += e.size;
        entries.push_back(std::move(e));
    }
    if (total <= capBytes) return total;
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.mtime < b.mtime; });
    // The newest file of a running writer is the one it writes now: it stays.
    std::map<std::string, const Entry*> newest;
    for (const auto& e : entries)
        if (!e.writer.empty()) newest[e.writer] = &e;
    for (const auto& e : entries) {
        if (total <= capBytes) break;
        if (e.writer.empty()) continue;
        if (newest[e.writer] == &e && fs::exists("/proc/" + e.writer, ec)) continue;
        if (fs::remove(e.path, ec) && !ec) total -= e.size;
    }
    return total;
}

std::string CLogHelper::Excerpt(const std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    size_t cut = maxBytes;
    // Never split a UTF-8 sequence: back up to the start of the character.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return text.substr(0, cut) + "... (" + std::to_string(text.size()) + " bytes)";
}

void CLogHelper::Flush() {
    std::lock_guard<std::mutex> lock(s_initMutex);
    if (s_writer.writer) s_writer.writer->Flush();
}

bool CLogHelper::FlushWithin(std::chrono::milliseconds wait) {
    std::shared_lock<std::shared_mutex> state(s_stateLock);
    CBufferedLogWriter* writer = s_pWriter.load();
    return !writer || writer->FlushWithin(wait);
}

bool CLogHelper::IsLoggerInitialized() {
    std::shared_lock<std::shared_mutex> state(s_stateLock);
    return s_bIsLogHelperIntialized;
}

void CLogHelper::InitLogger(const std::string& filePrefix, bool bBatched) {
    const std::string& product = CAppInfo::GetProductName();
    DebugPrint("%s++ : productname=%s, filepath=%s, log_level=%u", TVC_FN, product.c_str(),
               filePrefix.c_str(), 0u);
    std::lock_guard<std::mutex> lock(s_initMutex);
    if (IsLoggerInitialized()) {
        DebugPrint("%s: logger is already initialized : so, exiting.", TVC_FN);
        return;
    }
    if (product.empty() || filePrefix.empty()) {
        DebugPrint("%s: ERROR : Invalid Input : Productname and filepath.", TVC_FN);
        return;
    }
    FLAGS_minloglevel = 0;
    FLAGS_max_log_size = 5;
    FLAGS_stop_logging_if_full_disk = true;
    FLAGS_logbuflevel = -1;  // no buffering of glog's own on top of the writer's batches
    FLAGS_logtostderr = false;
    FLAGS_alsologtostderr = false;
    FLAGS_stderrthreshold = google::GLOG_FATAL;  // standard error already gets every line
    google::SetLogDestination(google::GLOG_INFO, filePrefix.c_str());
    // One file per process: the higher levels would otherwise open files of their own in /tmp.
    google::SetLogDestination(google::GLOG_WARNING, "");
    google::SetLogDestination(google::GLOG_ERROR, "");
    google::SetLogSymlink(google::GLOG_INFO, "");
    DebugPrint("@%s: LOGDBG InitGoogleLogging start.", TVC_FN);
    static std::string programName;  // glog keeps the pointer
    programName = product;
    google::InitGoogleLogging(programName.c_str());
    if (bBatched) {
        s_writer.writer = std::make_unique<CBufferedLogWriter>(WriteToLogFile);
        s_pWriter = s_writer.writer.get();
        InstallFatalSignalFlush();
    }
    {
        std::lock_guard<std::mutex> folderLock(s_folderLock);
        s_logFolder = boost::filesystem::path(filePrefix).parent_path().string();
    }
    DebugPrint("@%s: LOGDBG InitGoogleLogging end", TVC_FN);
    {
        std::unique_lock<std::shared_mutex> state(s_stateLock);
        s_bIsLogHelperIntialized = true;
    }
    DebugPrint("@%s: logger initialized.", TVC_FN);
}

void CLogHelper::DeInitLogger() {
    std::lock_guard<std::mutex> lock(s_initMutex);
    {
        std::unique_lock<std::shared_mutex> state(s_stateLock);
        if (!s_bIsLogHelperIntialized) {
            DebugPrint("@%s: nothing to deinit : so, exiting.", TVC_FN);
            return;
        }
        s_bIsLogHelperIntialized = false;
        s_pWriter = nullptr;
    }
    // From here on only the writer's own thread hands lines to glog.
    if (s_writer.writer && !s_writer.writer->CloseWithin(kWriterCloseWait)) {
        // Its thread is stuck in glog's write: glog stays up under it, and the writer is let go
        // rather than destroyed beneath its thread.
        static_cast<void>(s_writer.writer.release());
        DebugPrint("@%s: the log file takes nothing; its last lines are lost.", TVC_FN);
        return;
    }
    google::FlushLogFiles(google::GLOG_INFO);
    google::ShutdownGoogleLogging();
    DebugPrint("@%s: Closed the logger.", TVC_FN);
}

bool SetupLogger(bool purge, const std::string& filePrefix, bool bBatched) {
    DebugPrint("@%s ++ --: s_bIsLogHelperIntialized=%u", "CLogHelper::IsLoggerInitialized",
               CLogHelper::IsLoggerInitialized() ? 1u : 0u);
    if (CLogHelper::IsLoggerInitialized()) return true;

    std::string logsFolder;
    CAppPaths::GetPath(CAppPaths::eLogsFolder, logsFolder);
    namespace fs = boost::filesystem;
    bool ok = false;
    if (!logsFolder.empty()) {
        fs::path dir(logsFolder);
        if (purge) {
            try {
                boost::system::error_code ec;
                fs::remove_all(dir, ec);
                if (ec) DebugPrint("%s", "boost::filesystem exception.");
            } catch (const fs::filesystem_error& e) {
                DebugPrint("%s", e.what());
            }
        }
        boost::system::error_code ec;
        if (!fs::exists(dir, ec)) fs::create_directories(dir, ec);
        if (fs::is_directory(dir, ec)) {
            CLogHelper::InitLogger(logsFolder + filePrefix, bBatched);
            ok = CLogHelper::IsLoggerInitialized();
        }
    }
    TVC_LOG_WARN("PRODUCT VERSION %s\n", CAppInfo::GetVersion().c_str());
    // The file exists from here on, as it did when every line was written at once; a crash then
    // only appends to it.
    CLogHelper::Flush();
    return ok;
}

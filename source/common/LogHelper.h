// Process-wide logging on top of glog, plus the standard-error "debugger output".
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "common/FunctionName.h"

#define TVC_PRINTF(fmt_idx, arg_idx) __attribute__((format(printf, fmt_idx, arg_idx)))

// Writes the formatted text to standard error. The text is never reused as a format.
// Any thread; each call formats into its own buffer.
void DebugPrint(const char* format, ...) TVC_PRINTF(1, 2);

class CLogHelper {
  public:
    enum { eInfo = 0, eWarning = 1, eError = 2 };

    // printf-style formatting, cut to 10240 bytes; empty below the minimum level or for a null
    // format.
    static std::string GetFormattedString(int level, const char* format, ...) TVC_PRINTF(2, 3);

    // The line names the caller's file and line (clang 14 has no std::source_location).
    static void LogInfo(const std::string& text, const char* file = __builtin_FILE(),
                        int line = __builtin_LINE());
    static void LogWarning(const std::string& text, const char* file = __builtin_FILE(),
                           int line = __builtin_LINE());
    static void LogError(const std::string& text, const char* file = __builtin_FILE(),
                         int line = __builtin_LINE());

    // What a log line shows of a message's text: the whole of a short one, the head of a long one
    // with its size. Messages can be megabytes, and every byte logged costs the hot path.
    static std::string Excerpt(const std::string& text, size_t maxBytes = 512);
    // The same for a text from a peer or a page, which may carry secrets: one that mentions
    // cookies or credentials shows only its size.
    static std::string MessageExcerpt(const std::string& text, size_t maxBytes = 512);

    // Keeps `folder` at or under `capBytes`: the oldest files go first, except each process's
    // newest log file (the one it writes) and the page-console file. Returns the bytes left.
    static std::uintmax_t CapLogFolder(const std::string& folder, std::uintmax_t capBytes);
    static constexpr std::uintmax_t kLogFolderCapBytes = 32u * 1024 * 1024;

    // Starts glog with the product name as program name and `filePrefix` as the one file's prefix.
    // Batched: lines reach the file in batches (CBufferedLogWriter) rather than a write each, and
    // exit and a crash signal hand over the pending ones.
    static void InitLogger(const std::string& filePrefix, bool bBatched = false);
    static void DeInitLogger();
    // Any thread: the lines logged so far are in the file when this returns.
    static void Flush();
    // Any thread, for the last moments of a process: waits at most `wait` for the lines logged so
    // far to reach the file, and never writes itself (the file may be on a hung disk).
    static bool FlushWithin(std::chrono::milliseconds wait);
    static bool IsLoggerInitialized();
};

// Per-process start of logging: optionally empties the logs folder, then opens this process's file.
bool SetupLogger(bool purge, const std::string& filePrefix, bool bBatched = false);

// Shorthands for the common "format then log at the same level" pattern.
#define TVC_LOG_INFO(...) \
    CLogHelper::LogInfo(CLogHelper::GetFormattedString(CLogHelper::eInfo, __VA_ARGS__))
#define TVC_LOG_WARN(...) \
    CLogHelper::LogWarning(CLogHelper::GetFormattedString(CLogHelper::eWarning, __VA_ARGS__))
#define TVC_LOG_ERROR(...) \
    CLogHelper::LogError(CLogHelper::GetFormattedString(CLogHelper::eError, __VA_ARGS__))

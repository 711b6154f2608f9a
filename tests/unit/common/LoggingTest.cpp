#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BrowserLog.h"
#include "TempDir.h"
#include "common/AppInfo.h"
#include "common/ConsoleLog.h"
#include "common/FileUtil.h"
#include "common/LogHelper.h"
#include "common/LogWriter.h"
#include "common/PeerErrorGate.h"

namespace {
namespace fs = std::filesystem;

// Log lines name their function through TVC_FN; these are the shapes the code has.
namespace sample {
struct CSample {
    CSample() { names.push_back(TVC_FN); }
    ~CSample() { (void)TVC_FN; }
    static const char* Static(int, const std::string&) { return TVC_FN; }
    std::function<void()> Returning() {
        names.push_back(TVC_FN);
        return [] {};
    }
    const char* FromLambda() {
        return [] { return TVC_FN; }();
    }
    std::vector<std::string> names;
};
const char* Free() {
    return TVC_FN;
}
}  // namespace sample

TEST(FunctionNameTest, ClassAndMethodWithoutNamespacesOrSignature) {
    sample::CSample sample;
    sample.Returning();
    EXPECT_EQ(sample.names, (std::vector<std::string>{"CSample::CSample", "CSample::Returning"}));
    EXPECT_STREQ(sample::CSample::Static(1, ""), "CSample::Static");
    EXPECT_STREQ(sample.FromLambda(), "CSample::FromLambda");
    EXPECT_STREQ(sample::Free(), "Free");
}

TEST(FormattedStringTest, FormatsCutsAndRefusesNull) {
    EXPECT_EQ(CLogHelper::GetFormattedString(1, "%s : %d", "A::b", 7), "A::b : 7");
    std::string big(20000, 'x');
    EXPECT_EQ(CLogHelper::GetFormattedString(2, "%s", big.c_str()).size(), 10239u);
    const char* nullFormat = nullptr;
    EXPECT_EQ(CLogHelper::GetFormattedString(0, nullFormat), "");
    // Text that looks like a format is printed, never interpreted.
    testing::internal::CaptureStderr();
    CLogHelper::LogWarning("100%s %n %d");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "100%s %n %d\n");
}

// One process, one logger: the whole life of the browser log in one test.
TEST(SetupLoggerTest, PurgesOldLogsOpensOneFileAndIsIdempotent) {
    TempDir dir;
    setenv("XDG_DATA_HOME", dir.path.c_str(), 1);
    CAppPaths::ResetForTesting();
    ASSERT_TRUE(tvc::InitializeProductAppInfo());
    std::string logs;
    ASSERT_EQ(CAppPaths::GetPath(CAppPaths::eLogsFolder, logs), 0);
    { std::ofstream(logs + "BROWSER_PROCESS_LOG_20200101-000000.1") << "old"; }

    ASSERT_TRUE(SetupLogger(true, "BROWSER_PROCESS_LOG_", true));
    EXPECT_TRUE(CLogHelper::IsLoggerInitialized());
    EXPECT_TRUE(SetupLogger(true, "OTHER_"));
    const int markerLine = __LINE__ + 1;
    TVC_LOG_WARN("%s : marker %d", "LoggingTest", 42);
    CLogHelper::Flush();

    std::vector<fs::path> files;
    for (auto& e : fs::directory_iterator(logs)) files.push_back(e.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].filename().string().rfind("BROWSER_PROCESS_LOG_", 0), 0u);
    std::string text = *tvc::ReadFile(files[0].string());
    EXPECT_NE(text.find("PRODUCT VERSION 1.2.8.362"), std::string::npos);
    EXPECT_NE(text.find("LoggingTest : marker 42"), std::string::npos);
    // glog marks a WARNING line with "W", and the line names where it was logged.
    auto at = text.find("LoggingTest : marker 42");
    auto lineStart = text.rfind('\n', at) + 1;
    EXPECT_EQ(text[lineStart], 'W');
    EXPECT_NE(text.substr(lineStart, at - lineStart)
                  .find(" LoggingTest.cpp:" + std::to_string(markerLine) + "] "),
              std::string::npos);

    CLogHelper::DeInitLogger();
    EXPECT_FALSE(CLogHelper::IsLoggerInitialized());
    CAppPaths::ResetForTesting();
}

// Lines from several threads reach the file whole and each thread's in order: by Flush, and by
// the interval alone.
TEST(BufferedLogWriterTest, LinesArriveWholeInOrderByFlushAndByTheInterval) {
    std::mutex lock;
    std::condition_variable arrived;
    std::string written;
    CBufferedLogWriter writer([&](const char* data, size_t size) {
        std::lock_guard<std::mutex> guard(lock);
        written.append(data, size);
        arrived.notify_all();
    });
    constexpr int kThreads = 4, kLines = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&writer, t] {
            for (int i = 0; i < kLines; ++i)
                writer.Append(std::to_string(t) + " " + std::to_string(i) + "\n");
        });
    for (auto& thread : threads) thread.join();
    writer.Flush();
    std::map<int, int> next;
    {
        std::lock_guard<std::mutex> guard(lock);
        std::istringstream lines(written);
        for (int t, i; lines >> t >> i;) ASSERT_EQ(i, next[t]++) << "thread " << t;
    }
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next[t], kLines);

    writer.Append("late\n");
    std::unique_lock<std::mutex> guard(lock);
    EXPECT_TRUE(arrived.wait_for(guard, std::chrono::seconds(5), [&] {
        return written.size() >= 5 && written.compare(written.size() - 5, 5, "late\n") == 0;
    }));
}

// The address sanitizer reports a SIGSEGV itself and then aborts.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kSegvEndsWith = SIGABRT;
#else
constexpr int kSegvEndsWith = SIGSEGV;
#endif

// A crash hands the buffered lines to the file before the process ends by the signal.
TEST(BufferedLogWriterTest, LinesBeforeACrashAreInTheFile) {
    for (int signal : {SIGSEGV, SIGABRT}) {
        TempDir dir;
        const pid_t child = ::fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            if (!StartBrowserLogIn(dir.path)) ::_exit(3);
            TVC_LOG_WARN("%s : the last line before signal %d", "LoggingTest", signal);
            ::raise(signal);
            ::_exit(4);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << status;
        EXPECT_EQ(WTERMSIG(status), signal == SIGSEGV ? kSegvEndsWith : signal);
        std::string text;
        for (auto& e : fs::recursive_directory_iterator(dir.path))
            if (e.path().filename().string().rfind("BROWSER_PROCESS_LOG_", 0) == 0)
                text += *tvc::ReadFile(e.path().string());
        EXPECT_NE(text.find("the last line before signal " + std::to_string(signal)),
                  std::string::npos);
    }
}

TEST(ConsoleLogTest, FileIsEmptiedOnlyWhenItExceedsTenMiB) {
    TempDir dir;
    std::string path = dir.path + "/TVCJSLog.log";
    ASSERT_TRUE(tvc::AppendConsoleMessage(path, "first"));
    ASSERT_TRUE(tvc::AppendConsoleMessage(path, "second"));
    EXPECT_EQ(*tvc::ReadFile(path), "first\r\nsecond\r\n");

    fs::resize_file(path, tvc::kConsoleLogMaxBytes);
    ASSERT_TRUE(tvc::AppendConsoleMessage(path, "at limit"));
    EXPECT_EQ(fs::file_size(path), tvc::kConsoleLogMaxBytes + 10);

    fs::resize_file(path, tvc::kConsoleLogMaxBytes + 1);
    ASSERT_TRUE(tvc::AppendConsoleMessage(path, "over"));
    EXPECT_EQ(*tvc::ReadFile(path), "over\r\n");

    EXPECT_FALSE(tvc::AppendConsoleMessage(dir.path + "/missing/TVCJSLog.log", "x"));
}
}  // namespace

// The Logs folder stays under its cap: the oldest files go first, but never a running process's
// newest file (it is the one being written) nor the page-console file.
TEST(LogFolderCapTest, OldestFilesGoFirstAndWrittenFilesStay) {
    TempDir dir;
    const std::string self = std::to_string(::getpid());
    const std::string gone = "2147483000";  // no such process
    auto make = [&](const std::string& name, size_t size, int age) {
        const std::string path = dir.path + "/" + name;
        std::ofstream(path) << std::string(size, 'x');
        const auto when = std::filesystem::file_time_type::clock::now() - std::chrono::hours(age);
        std::filesystem::last_write_time(path, when);
        return path;
    };
    const auto oldSelf = make("B.log.INFO.1." + self, 400, 5);
    const auto newSelf = make("B.log.INFO.2." + self, 400, 1);
    const auto oldGone = make("R.log.INFO.1." + gone, 400, 4);
    const auto newGone = make("R.log.INFO.2." + gone, 400, 3);
    const auto console = make("TVCJSLog.log", 400, 9);
    EXPECT_EQ(CLogHelper::CapLogFolder(dir.path, 1300), 1200u);
    EXPECT_FALSE(std::filesystem::exists(oldSelf));
    EXPECT_FALSE(std::filesystem::exists(oldGone));
    EXPECT_TRUE(std::filesystem::exists(newGone));
    EXPECT_TRUE(std::filesystem::exists(newSelf));
    EXPECT_TRUE(std::filesystem::exists(console));
    // A writer that has ended keeps nothing when the cap needs the room.
    EXPECT_EQ(CLogHelper::CapLogFolder(dir.path, 800), 800u);
    EXPECT_FALSE(std::filesystem::exists(newGone));
    EXPECT_TRUE(std::filesystem::exists(newSelf));
}

TEST(PeerErrorGateTest, OneLineOfAKindAMinuteAndNoMoreKindsThanTheBound) {
    using namespace std::chrono_literals;
    CPeerErrorGate gate;
    const CPeerErrorGate::Clock::time_point t0{};
    unsigned heldBack = 99;
    const struct {
        const char* line;
        std::chrono::seconds at;
        bool admitted;
        unsigned heldBack;  // checked when admitted
    } steps[] = {
        {"A::F : first", 0s, true, 0},
        {"A::F: same function, other text", 1s, false, 0},
        {"B::G : another kind", 2s, true, 0},
        {"A::F : still within the minute", 59s, false, 0},
        {"A::F : a minute after the first", 60s, true, 2},
        {"A::F : and quiet again", 61s, false, 0},
    };
    for (const auto& step : steps) {
        EXPECT_EQ(gate.Admit(step.line, t0 + step.at, heldBack), step.admitted) << step.line;
        if (step.admitted) {
            EXPECT_EQ(heldBack, step.heldBack) << step.line;
        }
    }
    // A peer that varies the start of its lines fills the kinds, then shares one.
    int admitted = 0;
    for (int i = 0; i < 1000; ++i)
        admitted += gate.Admit("K" + std::to_string(i) + " : x", t0 + 70s, heldBack) ? 1 : 0;
    EXPECT_EQ(admitted, static_cast<int>(CPeerErrorGate::kMaxKinds) - 2 + 1);
}

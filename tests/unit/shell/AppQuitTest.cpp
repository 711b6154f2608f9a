// The quit watchdog ends the process whatever the log file does.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

#include "../common/BrowserLog.h"
#include "../common/TempDir.h"
#include "common/AppInfo.h"
#include "shell/AppQuit.h"

namespace {
namespace fs = std::filesystem;

// Points the descriptor glog writes the log file through at a pipe nobody reads: once the pipe
// is full every write to the log blocks, as on a hung disk.
bool BlockTheLogFile(const std::string& logsFolder) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return false;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        const fs::path target = fs::read_symlink(entry.path(), ec);
        if (ec || target.string().rfind(logsFolder, 0) != 0) continue;
        return ::dup2(pipeFds[1], std::stoi(entry.path().filename().string())) >= 0;
    }
    return false;
}

TEST(QuitWatchdogTest, EndsTheProcessWithinItsBoundWhileTheLogFileTakesNothing) {
    constexpr auto kBound = std::chrono::milliseconds(300);
    TempDir dir;
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        std::string logs;
        if (!StartBrowserLogIn(dir.path) || CAppPaths::GetPath(CAppPaths::eLogsFolder, logs) != 0 ||
            !BlockTheLogFile(logs))
            ::_exit(3);
        tvc::shell::SetWatchdogTimeoutForTesting(kBound);
        tvc::shell::MarkMessageLoopRunning();
        SpawnThreadFunction_WaitAndKillProcess();
        // The main thread never ends its loop: it is stuck writing to the log as well.
        const std::string line(4096, 'x');
        for (;;) {
            TVC_LOG_WARN("%s", line.c_str());
            CLogHelper::Flush();
        }
    }
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    pid_t ended = 0;
    // Far beyond the bound: a watchdog that waits for the log never ends it at all.
    while ((ended = ::waitpid(child, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(20))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (ended == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        FAIL() << "the watchdog did not end the process";
    }
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
}
}  // namespace

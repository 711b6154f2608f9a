#include "shell/AppQuit.h"

#include <gtk/gtk.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "common/CommandLine.h"
#include "common/LogHelper.h"
#include "common/TaskRunner.h"

namespace {
// Where the main thread and the watchdog thread meet: the main thread holds it while its loop
// runs, so the watchdog taking it within its time means the loop has ended.
std::timed_mutex ghMessageLoopDetactionMutex;
bool g_loopMutexAcquired = false;  // main thread
std::chrono::milliseconds g_watchdogTimeout{10000};
constexpr std::chrono::milliseconds kWatchdogLogWait{500};
// Joined after the loop (it returns at once then), so it never outlives main's statics.
std::thread g_watchdog;
// Main thread. Set by the first AppQuitMessageLoop: the loop ends once, and a quit asked for
// before the loop runs makes it return at once.
bool g_quitLoopRequested = false;

// The own message loop's "message window": a command queued on the main loop.
void OnMessageWindowCommand(int command) {
    if (command == tvc::shell::CMD_QUIT_MESSAGE_LOOP) gtk_main_quit();
}
}  // namespace

namespace tvc::shell {
void MarkMessageLoopRunning() {
    g_loopMutexAcquired = ghMessageLoopDetactionMutex.try_lock();
    if (g_loopMutexAcquired)
        TVC_LOG_WARN("%s : sucessfully aquired ghMessageLoopDetactionMutex", "wWinMain");
    else
        TVC_LOG_ERROR("%s : could not aquire ghMessageLoopDetactionMutex - result = %x", "wWinMain",
                      1u);
}

void MarkMessageLoopEnded() {
    if (!g_loopMutexAcquired) return;
    ghMessageLoopDetactionMutex.unlock();
    g_loopMutexAcquired = false;
    TVC_LOG_WARN("%s : ReleaseMutex() has been called with return code = %u", "wWinMain", 1u);
    if (g_watchdog.joinable()) g_watchdog.join();
}

void SetWatchdogTimeoutForTesting(std::chrono::milliseconds timeout) {
    g_watchdogTimeout = timeout;
}

int RunMessageLoop() {
    MarkMessageLoopRunning();
    if (!g_quitLoopRequested) gtk_main();
    MarkMessageLoopEnded();
    return 0;
}
}  // namespace tvc::shell

int ThreadFunction_WaitAndKillProcess(void*) {
    // Watchdog thread: shares only the loop mutex with the main thread.
    if (ghMessageLoopDetactionMutex.try_lock_for(g_watchdogTimeout)) {
        TVC_LOG_WARN("%s : ghMessageLoopDetactionMutex was aquired - so loop already exited.",
                     "ThreadFunction_WaitAndKillProcess");
        ghMessageLoopDetactionMutex.unlock();
        return 0;
    }
    TVC_LOG_WARN("%s : ghMessageLoopDetactionMutex - TIME OUT in aquire - engaging PROCESS KILL.",
                 "ThreadFunction_WaitAndKillProcess");
    // The lines so far get a moment to reach the file, and no more: shutting the logger down would
    // wait for its writer, which a hung disk (or a main thread stuck writing) holds for ever.
    CLogHelper::FlushWithin(kWatchdogLogWait);
    // Only this process: WebKit's own processes end when their parent's sockets close.
    ::kill(::getpid(), SIGKILL);
    return 0;
}

void SpawnThreadFunction_WaitAndKillProcess() {
    if (g_watchdog.joinable()) return;  // one watchdog per process is enough
    g_watchdog = std::thread(ThreadFunction_WaitAndKillProcess, nullptr);
    TVC_LOG_WARN(
        "%s : Create thread ThreadFunction_WaitAndKillProcess returned threadHandle = 0x%x, "
        "threadID=%u",
        "SpawnThreadFunction_WaitAndKillProcess", 1u,
        static_cast<unsigned>(std::hash<std::thread::id>{}(g_watchdog.get_id())));
}

void AppQuitMessageLoop() {
    tvc::runner::AssertOnMainThread();
    if (g_quitLoopRequested) {
        TVC_LOG_WARN("%s : the loop is already ending", "AppQuitMessageLoop");
        return;
    }
    g_quitLoopRequested = true;
    if (gtk_main_level() == 0) {
        TVC_LOG_WARN("%s : the loop is not running; it will not start", "AppQuitMessageLoop");
        return;
    }
    auto commandLine = GetGlobalCommandLine();
    SpawnThreadFunction_WaitAndKillProcess();
    if (commandLine->HasSwitch("multi-threaded-message-loop")) {
        TVC_LOG_INFO("%s : posting CMD_QUIT_MESSAGE_LOOP", "AppQuitMessageLoop");
        tvc::runner::Post([] { OnMessageWindowCommand(tvc::shell::CMD_QUIT_MESSAGE_LOOP); });
        TVC_LOG_INFO("%s : posted CMD_QUIT_MESSAGE_LOOP", "AppQuitMessageLoop");
    } else {
        TVC_LOG_INFO("%s : calling gtk_main_quit", "AppQuitMessageLoop");
        gtk_main_quit();
        TVC_LOG_INFO("%s : gtk_main_quit returned", "AppQuitMessageLoop");
    }
}

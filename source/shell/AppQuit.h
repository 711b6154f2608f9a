// The end of the browser process: ending the loop and the watchdog that makes sure it ends.
#pragma once

#include <chrono>

namespace tvc::shell {
// Command that ends the loop when the switch "multi-threaded-message-loop" is given.
inline constexpr int CMD_QUIT_MESSAGE_LOOP = 32500;

// Main thread, before the loop runs: marks the loop as running for the watchdog.
void MarkMessageLoopRunning();
// Main thread, after the loop has returned.
void MarkMessageLoopEnded();
// Before any watchdog runs.
void SetWatchdogTimeoutForTesting(std::chrono::milliseconds timeout);
// Runs the loop until AppQuitMessageLoop; returns the exit code.
int RunMessageLoop();
}  // namespace tvc::shell

// Ends the message loop and starts the 10-second watchdog. Main thread.
void AppQuitMessageLoop();
void SpawnThreadFunction_WaitAndKillProcess();
int ThreadFunction_WaitAndKillProcess(void* unused);

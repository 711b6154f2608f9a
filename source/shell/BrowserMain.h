// The browser process's entry: start-up, the message loop and the end.
#pragma once

namespace tvc::shell {
enum ExitCode {
    eExitOk = 0,
    eExitAlreadyRunning = 1,
    eExitNoDisplay = 2,
    eExitEngineFailed = 3,
    eExitWindowFailed = 4,
    eExitDisplayLost = 5,
};
int BrowserMain(int argc, char** argv);
// Once the program has quit, it starts again from its executable with the same arguments (the
// updater asks for it after the system has installed a new version). Main thread.
void RequestRestartAfterQuit();
}  // namespace tvc::shell

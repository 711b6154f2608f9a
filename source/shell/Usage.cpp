#include "shell/Usage.h"

#include <cstdio>

#include "common/AppInfo.h"
#include "common/CommandLine.h"

namespace tvc::shell {
namespace {
// The switches as the README's table lists them.
constexpr const char* kUsage =
    "Usage: tavisto-for-web [--switch[=value]]...\n"
    "Shows the Tavisto web application in a window of its own. Closing the window hides it;\n"
    "the tray icon brings it back or quits.\n"
    "\n"
    "Switches (--name=value; unknown switches are ignored):\n"
    "  --url=ADDRESS                 load ADDRESS instead of the start page beside the executable\n"
    "  --show-on-launch              show the window at once (otherwise the page shows it)\n"
    "  --remote-debugging-port=PORT  WebKit's remote inspector on 127.0.0.1:PORT (off without it)\n"
    "  --multi-threaded-message-loop accepted; the quit still travels as command 32500\n"
    "  --cache-path=PATH             accepted and ignored: the cache is always the per-user Cache "
    "folder\n"
    "  --ws-ports=A,B,...            the WebSocket listener's trial ports (default 51001-51005)\n"
    "  --appcast-base-url=URL, --config-base-url=URL, --web-site-url=URL,\n"
    "  --start-url-prefix=URL, --help-url=URL, --update-download-delay-ms=MS\n"
    "                                replace the compiled-in service addresses and delays\n"
    "  --automated-testing, --external-devtools, --mouse-cursor-change-disabled\n"
    "                                read and logged\n"
    "  --help                        print this text and exit\n"
    "  --version                     print the version and exit\n"
    "\n"
    "Files: $XDG_DATA_HOME/CorvaneMedia/TavistoForWeb/ (logs, cache, preferences),\n"
    "$XDG_CONFIG_HOME/autostart/TavistoForWebShortcut.desktop (set Hidden=true to stop autostart).\n"
    "Exit codes: 0 normal end, 1 another instance is running, 2 no display,\n"
    "3 the browser engine did not start, 4 the main window could not be created.\n";
}  // namespace

std::optional<int> AnswerInformationSwitches(const CCommandLine& commandLine) {
    if (commandLine.HasSwitch("help")) {
        std::fputs(kUsage, stdout);
    } else if (commandLine.HasSwitch("version")) {
        std::printf("%s %s\n", kDisplayName, kProductVersion);
    } else {
        return std::nullopt;
    }
    return 0;
}
}  // namespace tvc::shell

#include "shell/Usage.h"

#include <cstdio>

#include "common/AppInfo.h"
#include "common/CommandLine.h"

namespace tvc::shell {
namespace {
// The switches as the README's table lists them.
constexpr const char* kUsage = R"(Usage: tavisto-for-web [--switch[=value]]...
Shows the Tavisto web application in a window of its own. Closing the window hides it;
the tray icon brings it back or quits.

Switches (--name=value; unknown switches are ignored):
  --url=ADDRESS                 load ADDRESS instead of the start page beside the executable
  --show-on-launch              show the window at once (otherwise the page shows it)
  --remote-debugging-port=PORT  WebKit's remote inspector on 127.0.0.1:PORT (off without it)
  --multi-threaded-message-loop accepted; the quit still travels as command 32500
  --cache-path=PATH             accepted and ignored: the cache is the per-user Cache folder
  --ws-ports=A,B,...            the WebSocket listener's trial ports (default 51001-51005)
  --disable-web-sandbox         run web content without its sandbox (for debugging; the
                                sandbox also stays off where bwrap or user namespaces are missing)
  --appcast-base-url=URL, --config-base-url=URL, --web-site-url=URL,
  --start-url-prefix=URL, --help-url=URL, --update-download-delay-ms=MS,
  --download-stall-timeout-ms=MS
                                replace the compiled-in service addresses and delays
  --update-public-key=BASE64    require installers signed with this Ed25519 key (only in a
                                build that pins no key)
  --automated-testing, --external-devtools, --mouse-cursor-change-disabled
                                read and logged
  --help                        print this text and exit
  --version                     print the version and exit

Files: $XDG_DATA_HOME/CorvaneMedia/TavistoForWeb/ (logs, cache, preferences),
$XDG_CONFIG_HOME/autostart/TavistoForWebShortcut.desktop (Hidden=true stops autostart).
Exit codes: 0 normal end, 1 another instance is running (its window comes to the front),
2 no display,
3 the browser engine did not start, 4 the main window could not be created,
5 the connection to the display was lost.
)";
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

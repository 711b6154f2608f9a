#include "shell/Usage.h"

#include <cstdio>
#include <string>

#include "common/AppInfo.h"
#include "common/CommandLine.h"
#include "common/Translate.h"

namespace tvc::shell {
namespace {
constexpr int kSwitchColumn = 32;

// The switches as the README's table lists them; the names stay as typed, the descriptions are
// translated.
struct SSwitch {
    const char* names;
    const char* description;
};
constexpr SSwitch kSwitches[] = {
    {"--url=ADDRESS", N_("load ADDRESS instead of the start page beside the executable")},
    {"--show-on-launch", N_("show the window at once (otherwise the page shows it)")},
    {"--remote-debugging-port=PORT",
     N_("WebKit's remote inspector on 127.0.0.1:PORT (off without it)")},
    {"--multi-threaded-message-loop", N_("accepted; the quit still travels as command 32500")},
    {"--cache-path=PATH", N_("accepted and ignored: the cache is the per-user Cache folder")},
    {"--ws-ports=A,B,...", N_("the WebSocket listener's trial ports (default 51001-51005)")},
    {"--appcast-base-url=URL, --config-base-url=URL, --web-site-url=URL,\n"
     "  --start-url-prefix=URL, --help-url=URL, --update-download-delay-ms=MS,\n"
     "  --download-stall-timeout-ms=MS",
     N_("replace the compiled-in service addresses and delays")},
    {"--update-public-key=BASE64",
     N_("require installers signed with this Ed25519 key (only in a build that pins no key)")},
    {"--automated-testing, --external-devtools, --mouse-cursor-change-disabled",
     N_("read and logged")},
    {"--help", N_("print this text and exit")},
    {"--version", N_("print the version and exit")},
};

void PrintUsage() {
    std::printf("%s tavisto-for-web [--switch[=value]]...\n", _("Usage:"));
    std::fputs(_("Shows the Tavisto web application in a window of its own. Closing the window "
                 "hides it;\nthe tray icon brings it back or quits.\n"),
               stdout);
    std::printf("\n%s\n", _("Switches (--name=value; unknown switches are ignored):"));
    for (const SSwitch& entry : kSwitches) {
        const std::string names = std::string("  ") + entry.names;
        const bool ownLine = names.size() >= kSwitchColumn || names.find('\n') != std::string::npos;
        if (ownLine)
            std::printf("%s\n%*s%s\n", names.c_str(), kSwitchColumn, "", _(entry.description));
        else
            std::printf("%-*s%s\n", kSwitchColumn, names.c_str(), _(entry.description));
    }
    std::printf("\n%s\n", _("Files: $XDG_DATA_HOME/CorvaneMedia/TavistoForWeb/ (logs, cache, "
                            "preferences),\n$XDG_CONFIG_HOME/autostart/"
                            "TavistoForWebShortcut.desktop (Hidden=true stops autostart)."));
    std::printf("%s\n", _("Exit codes: 0 normal end, 1 another instance is running (its window "
                          "comes to the front),\n2 no display, 3 the browser engine did not "
                          "start, 4 the main window could not be created,\n5 the connection to "
                          "the display was lost."));
}
}  // namespace

std::optional<int> AnswerInformationSwitches(const CCommandLine& commandLine) {
    if (commandLine.HasSwitch("help")) {
        PrintUsage();
    } else if (commandLine.HasSwitch("version")) {
        std::printf("%s %s\n", kDisplayName, kProductVersion);
    } else {
        return std::nullopt;
    }
    return 0;
}
}  // namespace tvc::shell

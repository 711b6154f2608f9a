// Whether WebKit's web-process sandbox can start on this machine. WebKit launches every web process
// through bubblewrap when the sandbox is on and gives up on the process when bubblewrap cannot run:
// the page would crash again at every reload. So the program asks before the first web process.
#pragma once

#include <string>

namespace tvc::webkit {

// The programs WebKitGTK runs the sandbox with: it calls them by these fixed paths, not via PATH.
inline constexpr const char* kBubblewrapPath = "/usr/bin/bwrap";
inline constexpr const char* kDBusProxyPath = "/usr/bin/xdg-dbus-proxy";

// Empty when the sandbox can start, otherwise why not (one short phrase). Costs well under a
// millisecond: no program is started.
std::string WebSandboxUnavailableReason();
}  // namespace tvc::webkit

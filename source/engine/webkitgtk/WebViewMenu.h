// The context menu: the engine's own items plus what the client handler adds. Main thread only.
#pragma once

#include <webkit2/webkit2.h>

#include <memory>

#include "engine/webkitgtk/WebKitBrowser.h"

namespace tvc {
class ClientHandler;
}

namespace tvc::webkit {
void ConnectContextMenu(WebKitWebView* view, std::shared_ptr<ClientHandler> handler,
                        std::shared_ptr<CWebKitBrowser> (*lookup)(WebKitWebView*));
}  // namespace tvc::webkit

// The context menu: the engine's own items plus what the client adds. Main thread only.
#pragma once

#include <webkit2/webkit2.h>

#include <memory>

#include "engine/Client.h"
#include "engine/webkitgtk/WebKitBrowser.h"

namespace tvc::webkit {
void ConnectContextMenu(WebKitWebView* view, std::shared_ptr<engine::IContextMenuClient> client,
                        std::shared_ptr<CWebKitBrowser> (*lookup)(WebKitWebView*));
}  // namespace tvc::webkit

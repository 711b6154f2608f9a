// Downloads of the web context, reported to the client. Main thread only.
#pragma once

#include <webkit2/webkit2.h>

#include <functional>
#include <memory>

#include "engine/Client.h"
#include "engine/webkitgtk/WebKitBrowser.h"

namespace tvc::webkit {
using BrowserLookup = std::shared_ptr<CWebKitBrowser> (*)(WebKitWebView*);
void ConnectDownloads(WebKitWebContext* context, std::shared_ptr<engine::IDownloadClient> client,
                      BrowserLookup lookup);
}  // namespace tvc::webkit

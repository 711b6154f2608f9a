// Feeds a web view's signals to the browser's client, the way the engine's client callbacks would.
// Main thread only.
#pragma once

#include <webkit2/webkit2.h>

#include <memory>

#include "engine/Client.h"
#include "engine/webkitgtk/EngineContext.h"
#include "engine/webkitgtk/WebKitBrowser.h"

namespace tvc::webkit {

class CWebViewClient {
  public:
    // Connects the context-wide signals (downloads). Once, before the first view.
    static void Initialize(CEngineContext& engine, std::shared_ptr<engine::IClient> handler);
    // Connects `view` and returns its browser; the browser lives as long as the view.
    // The caller reports OnAfterCreated once the view is in its window.
    static std::shared_ptr<CWebKitBrowser> Attach(WebKitWebView* view, bool isPopup);
    // Forgets the handler and the views, once the loop has ended.
    static void Shutdown();
    // The browser of a view attached earlier, or null.
    static std::shared_ptr<CWebKitBrowser> BrowserOf(WebKitWebView* view);
};
}  // namespace tvc::webkit

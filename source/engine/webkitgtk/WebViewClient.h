// Feeds web views' signals to the browser's client, the way the engine's client callbacks would.
// Every connection it makes ends with it: no signal reaches it once it is gone. Main thread only.
#pragma once

#include <webkit2/webkit2.h>

#include <map>
#include <memory>
#include <vector>

#include "engine/Client.h"
#include "engine/webkitgtk/EngineContext.h"
#include "engine/webkitgtk/WebKitBrowser.h"
#include "engine/webkitgtk/WebViewDownloads.h"
#include "engine/webkitgtk/WebViewMenu.h"
#include "glibutil/GObjectPtr.h"

namespace tvc::webkit {

class CWebViewClient {
  public:
    // Connects the context-wide signals (downloads); `engine` outlives this object.
    CWebViewClient(CEngineContext& engine, std::shared_ptr<engine::IClient> client);
    ~CWebViewClient();
    CWebViewClient(const CWebViewClient&) = delete;
    CWebViewClient& operator=(const CWebViewClient&) = delete;

    // Connects `view` and returns its browser; the browser lives as long as the view.
    // The caller reports OnAfterCreated once the view is in its window.
    std::shared_ptr<CWebKitBrowser> Attach(WebKitWebView* view, bool isPopup);
    // The browser of a view attached earlier and not yet destroyed, or null.
    std::shared_ptr<CWebKitBrowser> BrowserOf(WebKitWebView* view) const;

  private:
    struct Signals;  // the views' handlers; their data is this object
    friend struct Signals;

    struct View {
        std::shared_ptr<CWebKitBrowser> browser;
        glib::GObjectPtr<GtkWidget> popupWindow;  // a popup's top-level window, destroyed with it
        // Declared last: disconnected while the window is still held.
        std::vector<glib::ScopedSignal> signals;
    };

    View& Connect(WebKitWebView* view, bool isPopup);
    View* Find(WebKitWebView* view);
    void DestroyView(WebKitWebView* view);

    CEngineContext& m_engine;
    std::shared_ptr<engine::IClient> m_client;
    // Entries go when their view is destroyed, so every key is a live view.
    std::map<WebKitWebView*, View> m_views;
    CWebViewDownloads m_downloads;
    CWebViewMenu m_menu;
};
}  // namespace tvc::webkit

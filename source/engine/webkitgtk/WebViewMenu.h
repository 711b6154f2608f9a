// The context menu: the engine's own items plus what the client adds. Main thread only.
#pragma once

#include <webkit2/webkit2.h>

#include <memory>

#include "engine/Client.h"
#include "engine/webkitgtk/WebKitBrowser.h"
#include "glibutil/GObjectPtr.h"

namespace tvc::webkit {

class CWebViewMenu {
  public:
    CWebViewMenu(std::shared_ptr<engine::IContextMenuClient> client, BrowserLookup lookup);
    CWebViewMenu(const CWebViewMenu&) = delete;
    CWebViewMenu& operator=(const CWebViewMenu&) = delete;

    // Gives `view` this menu for as long as the returned connection and this object both live.
    glib::ScopedSignal Connect(WebKitWebView* view);

    // Where a menu's items go; an item activated once this object is gone reaches nothing.
    struct Route {
        std::shared_ptr<engine::IContextMenuClient> client;
        BrowserLookup lookup;
    };

  private:
    std::shared_ptr<Route> m_route;
};
}  // namespace tvc::webkit

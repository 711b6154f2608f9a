// The engine start: one web context for the browser process, on the per-user Cache folder.
#pragma once

#include <webkit2/webkit2.h>

#include <map>
#include <memory>
#include <string>

#include "glibutil/GObjectPtr.h"

namespace tvc::webkit {

struct EngineStartParams {
    std::string cacheFolder;       // with trailing "/"; cookies and site data live here
    std::string extensionsFolder;  // where the web-process extension library is
    std::string productToken;      // appended to the engine's own user agent
    int inspectorPort = 0;         // 0: no remote inspector
    std::map<std::string, std::string> extensionInitData;
};

class CEngineContext {
  public:
    CEngineContext() = default;
    // Main thread, after gtk_init. Returns null and fills `error` on failure.
    static std::unique_ptr<CEngineContext> Start(const EngineStartParams& params,
                                                 std::string& error);

    WebKitWebContext* GetWebContext() const { return m_context.get(); }
    // Settings every web view of the product shares.
    WebKitSettings* GetSettings() const { return m_settings.get(); }
    WebKitWebsiteDataManager* GetDataManager() const { return m_dataManager.get(); }
    // A new web view of this context, with the shared settings; a floating reference.
    GtkWidget* CreateWebView() const;
    GtkWidget* CreateRelatedWebView(WebKitWebView* related) const;

  private:
    glib::GObjectPtr<WebKitWebsiteDataManager> m_dataManager;
    glib::GObjectPtr<WebKitWebContext> m_context;
    glib::GObjectPtr<WebKitSettings> m_settings;
};

// Main thread, before gtk_init and before any other thread starts: where there is no GPU, GDK
// is kept from loading a GL driver that nothing here draws with (the engine paints on the CPU).
void PrepareProcessForEngine();
// Main thread, after gtk_init: where there is no GPU, the EGL driver the engine will load anyway
// starts loading on a thread of its own. Best after gtk_init: that takes the loader's lock too.
void StartGraphicsDriverWarmUp();

// The user agent's product part: "Chrome/39.0.2171.36 <appName>/<version>".
std::string MakeProductToken(const std::string& appName, const std::string& version);
}  // namespace tvc::webkit

// The engine start: one web context for the browser process, on the per-user Cache folder.
#pragma once

#include <webkit2/webkit2.h>

#include <memory>
#include <string>

#include "engine/webkitgtk/EngineStartParams.h"
#include "glibutil/GObjectPtr.h"

namespace tvc::webkit {

class CEngineContext {
  public:
    CEngineContext() = default;
    // Main thread, after gtk_init. Returns null and fills `error` on failure.
    static std::unique_ptr<CEngineContext> Start(const EngineStartParams& params,
                                                 std::string& error);

    WebKitWebContext* GetWebContext() const { return m_context.get(); }
    WebKitWebsiteDataManager* GetDataManager() const { return m_dataManager.get(); }
    const std::string& UnconfinedReason() const { return m_unconfinedReason; }
    // A new web view of this context, with the shared settings; a floating reference.
    GtkWidget* CreateWebView() const;
    GtkWidget* CreateRelatedWebView(WebKitWebView* related) const;

  private:
    glib::GObjectPtr<WebKitWebsiteDataManager> m_dataManager;
    glib::GObjectPtr<WebKitWebContext> m_context;
    glib::GObjectPtr<WebKitSettings> m_settings;
    std::string m_unconfinedReason;
};

}  // namespace tvc::webkit

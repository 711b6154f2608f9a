// The web-process side of the bridge: WebKit's page, frame and message signals fed into the
// application object. One per web process, alive until the process ends; main thread only.
#pragma once

#include <webkit2/webkit-web-extension.h>

#include <map>
#include <memory>
#include <string>

#include "render/ClientApp.h"
#include "render/webext/RenderPage.h"

namespace tvc::render::webext {

class CRenderExtension {
  public:
    CRenderExtension(WebKitWebExtension* extension, std::shared_ptr<ClientApp> app);
    ~CRenderExtension();
    CRenderExtension(const CRenderExtension&) = delete;
    CRenderExtension& operator=(const CRenderExtension&) = delete;

  private:
    static void OnPageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer self);
    static void OnWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page,
                                      WebKitFrame* frame, gpointer self);
    static gboolean OnUserMessageReceived(WebKitWebPage* page, WebKitUserMessage* message,
                                          gpointer self);
    static void OnConsoleMessageSent(WebKitWebPage* page, WebKitConsoleMessage* message,
                                     gpointer self);
    static void OnPageFinalized(gpointer self, GObject* page);

    void ContextCreated(WebKitScriptWorld* world, WebKitWebPage* page, WebKitFrame* frame);
    void ReleaseContext(const std::shared_ptr<CRenderPage>& page,
                        const std::shared_ptr<CRenderFrame>& frame,
                        const std::shared_ptr<JscContext>& context);
    void PageEnded(WebKitWebPage* page);
    std::shared_ptr<CRenderPage> Find(WebKitWebPage* page) const;
    std::string SecurityOriginOf(WebKitFrame* frame) const;

    std::shared_ptr<ClientApp> m_app;
    std::map<WebKitWebPage*, std::shared_ptr<CRenderPage>> m_pages;
    glib::ScopedSignal m_pageCreated;
    glib::ScopedSignal m_windowObjectCleared;
    // Where a frame's origin is read: the page cannot reach this world's objects.
    glib::GObjectPtr<WebKitScriptWorld> m_originWorld;
};
}  // namespace tvc::render::webext

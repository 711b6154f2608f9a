// The render half of the application object: every script context of the application's own
// origins gets the `app` channel and the binder's objects; every browser-to-page message is turned
// into page events or state. Render thread, unless a method says otherwise.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "common/FirstSight.h"
#include "common/ProcessMessages.h"
#include "engine/JSValue.h"
#include "render/AppExtension.h"
#include "render/JavascriptBinder.h"
#include "render/RenderEnv.h"

namespace tvc::render {

class ClientApp {
  public:
    explicit ClientApp(RenderEnvRef env);
    virtual ~ClientApp() = default;

    virtual void OnRenderThreadCreated();
    virtual void OnWebKitInitialized();
    virtual void OnBrowserCreated(const engine::RenderBrowserRef& browser);
    virtual void OnBrowserDestroyed(const engine::RenderBrowserRef& browser);
    virtual void OnContextCreated(const engine::RenderBrowserRef& browser,
                                  const engine::RenderFrameRef& frame,
                                  const engine::JSContextRef& context);
    virtual void OnContextReleased(const engine::RenderBrowserRef& browser,
                                   const engine::RenderFrameRef& frame,
                                   const engine::JSContextRef& context);
    // True when the message was handled.
    virtual bool OnProcessMessageReceived(const engine::RenderBrowserRef& browser,
                                          engine::ProcessId sourceProcess,
                                          const engine::ProcessMessage& message);

    // True when a frame of `origin` (as the engine serializes it) gets the bridge; the first
    // refusal of each origin is logged.
    bool IsOwnOrigin(const std::string& origin);

    void CheckBinderIntegrity();
    bool BindToJavascript(const engine::RenderBrowserRef& browser,
                          const engine::RenderFrameRef& frame, const engine::JSContextRef& context);

    const std::shared_ptr<CJavascriptBinder>& GetBinder() const { return m_js_binder; }
    const MessageCallbackMap& GetMessageCallbacks() const { return *m_callbacks; }

    // True when the web process acts on the browser-to-page `row`.
    static bool Dispatches(const msg::Entry& row);

  private:
    // The callback registered by page script for this message name and page.
    bool DispatchToMessageCallback(const engine::RenderBrowserRef& browser,
                                   const engine::ProcessMessage& message);
    // Fires `event` when there is a binder.
    void Fire(const char* event, const engine::ListValue& arguments);
    void FireRowEvent(const msg::Entry& row, const engine::ProcessMessage& message);

    using Act = bool (ClientApp::*)(const engine::RenderBrowserRef&, const engine::ProcessMessage&);
    struct PageBoundAct {
        const char* name;
        Act act;
    };
    static const PageBoundAct kPageBoundActs[];
    static Act FindAct(std::string_view name);
    bool ReceiveInterAppText(const engine::RenderBrowserRef&, const engine::ProcessMessage&);
    bool HandleQuitNotification(const engine::RenderBrowserRef&, const engine::ProcessMessage&);
    bool OpenWebSiteFromTray(const engine::RenderBrowserRef&, const engine::ProcessMessage&);
    bool SetSendQueueFull(const engine::RenderBrowserRef&, const engine::ProcessMessage&);
    bool TellConnectionEstablished(const engine::RenderBrowserRef&, const engine::ProcessMessage&);
    bool SetLocalTimeMap(const engine::RenderBrowserRef&, const engine::ProcessMessage&);
    bool SetAppActive(const engine::RenderBrowserRef&, const engine::ProcessMessage&);
    bool SetWindowMinimized(const engine::RenderBrowserRef&, const engine::ProcessMessage&);

    RenderEnvRef m_env;
    std::shared_ptr<MessageCallbackMap> m_callbacks;
    std::shared_ptr<ClientAppExtensionHandler> m_extensionHandler;
    std::shared_ptr<CJavascriptBinder> m_js_binder;
    CFirstSight m_loggedForeignOrigins{64};
};

// The product's application object: per-process set-up and the listener request.
class CTVCApp : public ClientApp {
  public:
    using ClientApp::ClientApp;
    void OnRenderThreadCreated() override;
    // Every bridged script context, sub-frames included, (re)requests the inter-app listener.
    void OnContextCreated(const engine::RenderBrowserRef& browser,
                          const engine::RenderFrameRef& frame,
                          const engine::JSContextRef& context) override;
};
}  // namespace tvc::render

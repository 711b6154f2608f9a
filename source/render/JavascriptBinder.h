// Builds `window.tvd` and `window.fullscreenhandler` in the script contexts it is given, and
// carries native events and the quit request to the page. One per web process; render thread only.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>

#include "engine/JSValue.h"
#include "render/FullScreenAccessor.h"
#include "render/JavascriptHandler.h"
#include "render/RenderEnv.h"

namespace tvc::render {

class CJavascriptBinder : public std::enable_shared_from_this<CJavascriptBinder> {
  public:
    explicit CJavascriptBinder(RenderEnvRef env) : m_env(std::move(env)) {}
    virtual ~CJavascriptBinder() = default;

    virtual void OnContextCreated(const engine::RenderBrowserRef& browser,
                                  const engine::RenderFrameRef& frame,
                                  const engine::JSContextRef& context);
    virtual void OnContextReleased(const engine::RenderBrowserRef& browser,
                                   const engine::RenderFrameRef& frame,
                                   const engine::JSContextRef& context);

    bool ExecuteJSBinding(const engine::RenderBrowserRef& browser,
                          const engine::RenderFrameRef& frame, const engine::JSContextRef& context);
    bool JSConstructNativeHostContext(const engine::JSContextRef& context,
                                      const engine::RenderBrowserRef& browser);

    // True for a context this binder gave `tvd` and that is not released yet.
    bool HasBridge(const engine::JSContextRef& context) const;

    bool FireEventOnJavaScript(const std::string& event, const engine::ListValue& arguments);
    void OnNativeMessageRceive(const std::string& text);
    // The page's share of the quit: fires "OnBeforeAppQuit", then polls `tvd.quitApp` every
    // 100 ms from the render thread's loop, so page scripts (timers, promises) run in between,
    // for at most `tvd.appQuitResponseTimeout` seconds (never more than 6). `onDone` runs exactly
    // once with the result, when the wait is over or at once when there is nothing to wait for; a
    // request during a wait joins it. The result is false when the page could not be asked.
    using QuitDone = std::function<void(bool result)>;
    bool HandleWebAppQuit(const engine::RenderBrowserRef& browser, QuitDone onDone);

    const std::shared_ptr<CJavascriptHandler>& GetHandler() const { return m_js_handler; }
    bool GetWebAppExitFlag() const { return m_bWebAppExitFlag; }

  private:
    struct QuitWait;
    void PollQuitAnswer();

    RenderEnvRef m_env;
    std::shared_ptr<CJavascriptHandler> m_js_handler;
    std::shared_ptr<FullScreenAccessor> m_pFullScreenAccessor;
    bool m_bWebAppExitFlag = false;
    // Polls left in the quit wait; 6 when the page's timeout cannot be read at all.
    int m_iExitCounter = 6;
    std::shared_ptr<QuitWait> m_quitWait;          // while the page is being waited for
    std::set<const engine::JSContext*> m_bridged;  // identities only; erased when released
};
}  // namespace tvc::render

// The native side of every `window.tvd` function, and the page's event subscriptions.
#pragma once

#include <memory>
#include <string>

#include "common/ProcessMessages.h"
#include "engine/JSValue.h"
#include "render/CallbackRegistry.h"
#include "render/RenderEnv.h"

namespace tvc::render {

class CJavascriptHandler : public engine::IJSHandler {
  public:
    // Every message goes out through `browser`, the page of the first script context.
    CJavascriptHandler(engine::RenderBrowserRef browser, RenderEnvRef env);

    // Render thread (page calls). Unknown names leave the result undefined.
    bool Execute(const std::string& name, const engine::JSContextRef& context,
                 const engine::JSValueRef& thisObject, const engine::JSValueList& arguments,
                 engine::JSValueRef& retval, std::string& exception) override;

    // Calls every subscriber of `name` with `arguments`, each in its own context; true when at
    // least one was called. Any thread: elsewhere it re-posts itself and returns false.
    bool JSFireMethods(const std::string& name, const engine::ListValue& arguments);
    bool JSFireMethod_NativeMessageReceive(const std::string& text);
    void ReleaseContext(const engine::JSContextRef& context);

    const CCallbackRegistry& GetRegistry() const { return m_registry; }

    using Operation = engine::JSValueRef (CJavascriptHandler::*)(const engine::JSContextRef&,
                                                                 const engine::JSValueList&);

  private:
    // The functions the web process answers itself; every other member goes through the table.
    engine::JSValueRef JSHandle_Register(const engine::JSContextRef& ctx,
                                         const engine::JSValueList& args);
    engine::JSValueRef JSHandle_UnRegister(const engine::JSContextRef& ctx,
                                           const engine::JSValueList& args);
    engine::JSValueRef JSHandle_EventListener(const engine::JSContextRef& ctx,
                                              const engine::JSValueList& args);
    engine::JSValueRef JSHandle_GetLocale(const engine::JSContextRef& ctx,
                                          const engine::JSValueList& args);
    engine::JSValueRef JSHandle_GetMechineID(const engine::JSContextRef& ctx,
                                             const engine::JSValueList& args);
    engine::JSValueRef JSHandle_SetStartUrl(const engine::JSContextRef& ctx,
                                            const engine::JSValueList& args);
    engine::JSValueRef JSHandle_GetStartUrl(const engine::JSContextRef& ctx,
                                            const engine::JSValueList& args);
    engine::JSValueRef IsAppActive(const engine::JSContextRef& ctx,
                                   const engine::JSValueList& args);
    engine::JSValueRef IsAppMinimized(const engine::JSContextRef& ctx,
                                      const engine::JSValueList& args);

    // A member that sends its row's message: the arguments checked and converted as the row
    // says, the answer given by its reply rule.
    engine::JSValueRef SendRow(const msg::Entry& row, const engine::JSContextRef& ctx,
                               const engine::JSValueList& args);
    // Sends `message` through the handler's page; true when it went out.
    bool Send(const engine::ProcessMessage& message);

    struct LocalEntry {
        const char* page;
        Operation operation;
    };
    static const LocalEntry kLocal[];

    engine::RenderBrowserRef m_pBrowser;
    RenderEnvRef m_env;
    CCallbackRegistry m_registry;
};
}  // namespace tvc::render

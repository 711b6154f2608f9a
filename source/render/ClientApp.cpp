#include "render/ClientApp.h"

#include "common/LogHelper.h"
#include "common/ProcessMessages.h"
#include "render/JSConvert.h"
#include "render/SiteAddress.h"

namespace tvc::render {
using engine::JSContextRef;
using engine::ProcessMessage;
using engine::RenderBrowserRef;
using engine::RenderFrameRef;

namespace {
constexpr int kBindRetryDelayMs = 250;

std::string StringArg(const ProcessMessage& m, size_t i) {
    return i < m.args.size() ? m.args[i].GetString() : "";
}
bool BoolArg(const ProcessMessage& m, size_t i) {
    return i < m.args.size() && m.args[i].GetBool();
}
int IntArg(const ProcessMessage& m, size_t i) {
    return i < m.args.size() ? m.args[i].GetInt() : 0;
}
}  // namespace

ClientApp::ClientApp(RenderEnvRef env)
    : m_env(std::move(env)),
      m_callbacks(std::make_shared<MessageCallbackMap>()),
      m_extensionHandler(std::make_shared<ClientAppExtensionHandler>(m_callbacks)) {}

void ClientApp::OnRenderThreadCreated() {
    TVC_LOG_INFO(TVC_FN);
}

void ClientApp::OnWebKitInitialized() {
    // The `app` channel is added to each context as it is created (there is no extension registry).
    TVC_LOG_INFO(TVC_FN);
}

void ClientApp::OnBrowserCreated(const RenderBrowserRef& browser) {
    TVC_LOG_INFO("%s : browser %d", TVC_FN, browser ? browser->GetIdentifier() : -1);
}

void ClientApp::OnBrowserDestroyed(const RenderBrowserRef& browser) {
    TVC_LOG_INFO("%s : browser %d", TVC_FN, browser ? browser->GetIdentifier() : -1);
}

void ClientApp::OnContextCreated(const RenderBrowserRef& browser, const RenderFrameRef& frame,
                                 const JSContextRef& context) {
    if (!ClientAppExtensionHandler::Install(context, m_extensionHandler))
        TVC_LOG_ERROR("%s : the app object could not be added", TVC_FN);
    CheckBinderIntegrity();
    BindToJavascript(browser, frame, context);
}

bool ClientApp::IsOwnOrigin(const std::string& origin) {
    if (m_env->appOrigins.Contains(origin)) return true;
    if (m_loggedForeignOrigins.IsFirst(origin))
        TVC_LOG_WARN("%s : frames of %s get no bridge: not one of the application's origins",
                     TVC_FN, origin.c_str());
    return false;
}

void ClientApp::OnContextReleased(const RenderBrowserRef& browser, const RenderFrameRef& frame,
                                  const JSContextRef& context) {
    if (m_js_binder) m_js_binder->OnContextReleased(browser, frame, context);
    m_callbacks->ReleaseContext(context);
}

void ClientApp::CheckBinderIntegrity() {
    if (m_js_binder) {
        TVC_LOG_INFO("%s : premature-return binder-valid - avoid recreate.\n", TVC_FN);
        return;
    }
    TVC_LOG_WARN("%s CJavascriptBinder-born\n", TVC_FN);
    m_js_binder = std::make_shared<CJavascriptBinder>(m_env);
}

bool ClientApp::BindToJavascript(const RenderBrowserRef& browser, const RenderFrameRef& frame,
                                 const JSContextRef& context) {
    if (!m_env->runner->CurrentlyOnRenderThread()) {
        // Thread crossing: any thread -> render thread, 250 ms later.
        std::weak_ptr<ClientApp> weak = weak_from_this();
        bool posted = m_env->runner->PostTask(
            [weak, browser, frame, context] {
                if (auto self = weak.lock()) self->BindToJavascript(browser, frame, context);
            },
            kBindRetryDelayMs);
        TVC_LOG_WARN("ClientHandler::BindToJavascript :NewCefRunnableMethod result :  %d\n",
                     posted ? 1 : 0);
        return posted;
    }
    CheckBinderIntegrity();
    if (!m_js_binder) {
        TVC_LOG_ERROR("ClientHandler::BindToJavascript: m_js_binder null-ref\n");
        return false;
    }
    if (frame)
        TVC_LOG_INFO("ClientApp::BindToJavascript: browser %d, frame %lld (%s), context %p",
                     browser ? browser->GetIdentifier() : -1, frame->GetIdentifier(),
                     frame->IsMain() ? "main" : "sub", static_cast<void*>(context.get()));
    else
        TVC_LOG_INFO("ClientApp::BindToJavascript: frame-context nullref \n");
    m_js_binder->OnContextCreated(browser, frame, context);
    return true;
}

void ClientApp::Fire(const char* event, const engine::ListValue& arguments) {
    if (m_js_binder) m_js_binder->FireEventOnJavaScript(event, arguments);
}

bool ClientApp::OnProcessMessageReceived(const RenderBrowserRef& browser,
                                         engine::ProcessId sourceProcess,
                                         const ProcessMessage& message) {
    const std::string& name = message.name;
    TVC_LOG_WARN("%s : render thread %d, source process %d, message %s", TVC_FN,
                 m_env->runner->CurrentlyOnRenderThread() ? 1 : 0, static_cast<int>(sourceProcess),
                 name.c_str());
    if (name == msg::kNativeMessageCommandReceived) {
        m_env->state->iInterAppConnection = IntArg(message, 1);
        if (m_js_binder) m_js_binder->OnNativeMessageRceive(StringArg(message, 0));
    } else if (name == msg::kAppBeforeQuitNotification) {
        HandleQuitNotification(browser);
    } else if (name == msg::kFullScreenToggle) {
        Fire("OnFullScreenToggle", {BoolArg(message, 0)});
    } else if (name == msg::kStreamStopForAppUpdate) {
        Fire("OnNativeAppUpdate", {});
    } else if (name == msg::kNotificationOnNativeApplicationHide) {
        Fire("OnNativeAppHide", {});
    } else if (name == msg::kOnTrayIconOpenApplicationSelect) {
        Fire("OnTrayIconMenuOpenApplication", {});
    } else if (name == msg::kOnTrayIconOpenBrowser) {
        // The web process may not start programs: the browser process opens the site for it.
        const std::string url = TrayLaunchAddress(m_env->webSiteURL);
        if (url.empty())
            TVC_LOG_ERROR("%s : %s : the web site address %s is not an absolute URL", TVC_FN,
                          name.c_str(), m_env->webSiteURL.c_str());
        else if (!browser || !browser->SendProcessMessage({msg::kLaunchURL, {url}}))
            TVC_LOG_ERROR("%s : %s : could not ask to open %s", TVC_FN, name.c_str(), url.c_str());
        Fire("OnTrayIconMenuOpenBrowser", {});
    } else if (name == msg::kInterAppSendQueueFull) {
        m_env->state->bSendQueueFull = BoolArg(message, 0);
    } else if (name == msg::kInterAppConnectionEstablished) {
        m_env->state->iInterAppConnection = IntArg(message, 0);
        Fire("HandleInterAppConnectionStatusChange", {1});
    } else if (name == msg::kGetLocalTimeMap) {
        if (m_env->runner->CurrentlyOnRenderThread()) return SetLocalTimeMap(browser, message);
    } else if (name == msg::kPluginCrashEvent) {
        Fire("pluginCrashCallback", {StringArg(message, 0)});
        return true;
    } else if (name == msg::kIsAppActiveStatus) {
        if (message.args.empty()) return false;
        m_env->state->bAppActive = BoolArg(message, 0);
        TVC_LOG_WARN("%s kIsAppActiveStatusMessage %u \n", TVC_FN,
                     m_env->state->bAppActive ? 1u : 0u);
        return true;
    } else if (name == msg::kIsWindowMiniaturizedStatus) {
        if (message.args.empty()) return false;
        m_env->state->bWindowMinimized = BoolArg(message, 0);
        TVC_LOG_WARN("%s kIsWindowMiniaturizedStatusMessage %u \n", TVC_FN,
                     m_env->state->bWindowMinimized ? 1u : 0u);
        return true;
    }
    return DispatchToMessageCallback(browser, message);
}

void ClientApp::HandleQuitNotification(const RenderBrowserRef& browser) {
    const char* fn = "ClientApp::OnProcessMessageReceived";
    // Exactly one completion per notification, whatever the page did, once its turn is over.
    auto complete = [fn, browser](bool result) {
        TVC_LOG_WARN("%s: HandleWebAppQuit : completed with result = %u (0 is fail)", fn,
                     result ? 1u : 0u);
        if (!browser) {
            TVC_LOG_ERROR("%s: %s SendProcessMessage : msg-null-ref OR browser-null-ref", fn,
                          msg::kTvdQuitCompletion);
            return;
        }
        if (browser->SendProcessMessage({msg::kTvdQuitCompletion, {}}))
            TVC_LOG_WARN("%s: msg-%s : SendProcessMessage suceeded", fn, msg::kTvdQuitCompletion);
        else
            TVC_LOG_ERROR("%s: msg-%s : SendProcessMessage failed", fn, msg::kTvdQuitCompletion);
    };
    if (m_js_binder) {
        m_js_binder->HandleWebAppQuit(browser, complete);
        return;
    }
    TVC_LOG_ERROR("%s: Error! m_js_binder is NULL, so not calling HandleWebAppQuit on browser.",
                  fn);
    complete(false);
}

bool ClientApp::SetLocalTimeMap(const RenderBrowserRef& browser, const ProcessMessage& message) {
    RenderFrameRef frame = browser ? browser->GetMainFrame() : nullptr;
    JSContextRef context = frame ? frame->GetContext() : nullptr;
    // A main frame of another origin is told nothing.
    if (!m_js_binder || !m_js_binder->HasBridge(context)) context = nullptr;
    engine::JSValueRef window = context && context->IsValid() ? context->GetGlobal() : nullptr;
    if (!window || !window->IsObject()) {
        TVC_LOG_ERROR("ClientApp::OnProcessMessageReceived : %s : no main-frame window object",
                      msg::kGetLocalTimeMap);
        return false;
    }
    window->SetValue("propLocalTimeMap", context->NewString(StringArg(message, 0)));
    return true;
}

bool ClientApp::DispatchToMessageCallback(const RenderBrowserRef& browser,
                                          const ProcessMessage& message) {
    if (m_callbacks->Empty() || !browser) return false;
    const MessageCallbackMap::Value* found =
        m_callbacks->Find({message.name, browser->GetIdentifier()});
    if (!found) return false;
    // Local references: the callback may remove itself.
    JSContextRef context = found->first;
    engine::JSValueRef function = found->second;
    if (!context || !context->IsValid() || !function) return false;
    engine::JSValueRef result = function->ExecuteFunction(
        nullptr, {context->NewString(message.name), JSArrayFromList(context, message.args)});
    return result && result->IsBool() && result->GetBoolValue();
}

void CTVCApp::OnRenderThreadCreated() {
    ClientApp::OnRenderThreadCreated();
    TVC_LOG_WARN(TVC_FN);
}

void CTVCApp::OnContextCreated(const RenderBrowserRef& browser, const RenderFrameRef& frame,
                               const JSContextRef& context) {
    ClientApp::OnContextCreated(browser, frame, context);
    bool sent =
        browser && browser->SendProcessMessage({msg::kNativeMessageListenerCommandControl, {true}});
    TVC_LOG_WARN("%s SendProcessMessage : %s sent-result: %d\n", TVC_FN,
                 msg::kNativeMessageListenerCommandControl, sent ? 1 : 0);
}
}  // namespace tvc::render

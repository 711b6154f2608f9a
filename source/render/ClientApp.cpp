#include "render/ClientApp.h"

#include <string_view>

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
    CheckBinderIntegrity();
    if (!m_js_binder) {
        TVC_LOG_ERROR("ClientHandler::BindToJavascript: m_js_binder null-ref\n");
        return false;
    }
    if (frame)
        TVC_LOG_INFO("%s: browser %d, frame %lld (%s), context %p", TVC_FN,
                     browser ? browser->GetIdentifier() : -1, frame->GetIdentifier(),
                     frame->IsMain() ? "main" : "sub", static_cast<void*>(context.get()));
    else
        TVC_LOG_INFO("ClientApp::BindToJavascript: frame-context nullref \n");
    m_js_binder->OnContextCreated(browser, frame, context);
    return true;
}

// The web process's own part of a browser-to-page row. A row without one fires its event with the
// message's arguments; an answered row answers true.
const ClientApp::PageBoundAct ClientApp::kPageBoundActs[] = {
    {msg::kNativeMessageCommandReceived, &ClientApp::ReceiveInterAppText},
    {msg::kAppBeforeQuitNotification, &ClientApp::HandleQuitNotification},
    {msg::kOnTrayIconOpenBrowser, &ClientApp::OpenWebSiteFromTray},
    {msg::kInterAppSendQueueFull, &ClientApp::SetSendQueueFull},
    {msg::kInterAppConnectionEstablished, &ClientApp::TellConnectionEstablished},
    {msg::kGetLocalTimeMap, &ClientApp::SetLocalTimeMap},
    {msg::kIsAppActiveStatus, &ClientApp::SetAppActive},
    {msg::kIsWindowMiniaturizedStatus, &ClientApp::SetWindowMinimized},
};

ClientApp::Act ClientApp::FindAct(std::string_view name) {
    for (const auto& act : kPageBoundActs)
        if (name == act.name) return act.act;
    return nullptr;
}

bool ClientApp::Dispatches(const msg::Entry& row) {
    return row.direction == msg::Direction::ToRenderer && (FindAct(row.name) || row.event);
}

bool ClientApp::OnProcessMessageReceived(const RenderBrowserRef& browser,
                                         engine::ProcessId sourceProcess,
                                         const ProcessMessage& message) {
    TVC_LOG_WARN("%s : source process %d, message %s", TVC_FN, static_cast<int>(sourceProcess),
                 message.name.c_str());
    const msg::Entry* row = msg::Find(message.name, msg::Direction::ToRenderer);
    if (!row) return DispatchToMessageCallback(browser, message);
    bool answer = true;
    if (const Act act = FindAct(row->name))
        answer = (this->*act)(browser, message);
    else
        FireRowEvent(*row, message);
    return row->answered ? answer : DispatchToMessageCallback(browser, message);
}

void ClientApp::FireRowEvent(const msg::Entry& row, const ProcessMessage& message) {
    const msg::Entry* event = row.event ? msg::Find(row.event, msg::Direction::ToPage) : nullptr;
    if (!event) {
        TVC_LOG_ERROR("%s : %s names no page event", TVC_FN, row.name);
        return;
    }
    // The event's shape from the message's leading arguments; a missing one reads as empty.
    engine::ListValue arguments;
    size_t i = 0;
    for (msg::Arg arg : event->args) {
        const bool has = i < message.args.size();
        switch (arg) {
            case msg::Arg::Bool:
                arguments.emplace_back(has && message.args[i].GetBool());
                break;
            case msg::Arg::String:
                arguments.emplace_back(has ? message.args[i].GetString() : std::string());
                break;
            default:
                arguments.emplace_back(has ? message.args[i].GetInt() : 0);
                break;
        }
        ++i;
    }
    Fire(event->name, arguments);
}

void ClientApp::Fire(const char* event, const engine::ListValue& arguments) {
    if (m_js_binder) m_js_binder->FireEventOnJavaScript(event, arguments);
}

bool ClientApp::ReceiveInterAppText(const RenderBrowserRef&, const ProcessMessage& message) {
    m_env->state->iInterAppConnection = IntArg(message, 1);
    if (m_js_binder) m_js_binder->OnNativeMessageRceive(StringArg(message, 0));
    return true;
}

bool ClientApp::OpenWebSiteFromTray(const RenderBrowserRef& browser,
                                    const ProcessMessage& message) {
    // The web process may not start programs: the browser process opens the site for it.
    const std::string url = TrayLaunchAddress(m_env->webSiteURL);
    if (url.empty())
        TVC_LOG_ERROR("%s : %s : the web site address %s is not an absolute URL", TVC_FN,
                      message.name.c_str(), m_env->webSiteURL.c_str());
    else if (!browser || !browser->SendProcessMessage({msg::kLaunchURL, {url}}))
        TVC_LOG_ERROR("%s : %s : could not ask to open %s", TVC_FN, message.name.c_str(),
                      url.c_str());
    FireRowEvent(*msg::Find(message.name), message);
    return true;
}

bool ClientApp::SetSendQueueFull(const RenderBrowserRef&, const ProcessMessage& message) {
    m_env->state->bSendQueueFull = BoolArg(message, 0);
    return true;
}

bool ClientApp::TellConnectionEstablished(const RenderBrowserRef&, const ProcessMessage& message) {
    m_env->state->iInterAppConnection = IntArg(message, 0);
    // The page hears that a peer is there, not which one.
    Fire(msg::Find(message.name)->event, {1});
    return true;
}

bool ClientApp::SetAppActive(const RenderBrowserRef&, const ProcessMessage& message) {
    if (message.args.empty()) return false;
    m_env->state->bAppActive = BoolArg(message, 0);
    TVC_LOG_WARN("%s kIsAppActiveStatusMessage %u \n", TVC_FN, m_env->state->bAppActive ? 1u : 0u);
    return true;
}

bool ClientApp::SetWindowMinimized(const RenderBrowserRef&, const ProcessMessage& message) {
    if (message.args.empty()) return false;
    m_env->state->bWindowMinimized = BoolArg(message, 0);
    TVC_LOG_WARN("%s kIsWindowMiniaturizedStatusMessage %u \n", TVC_FN,
                 m_env->state->bWindowMinimized ? 1u : 0u);
    return true;
}

bool ClientApp::HandleQuitNotification(const RenderBrowserRef& browser, const ProcessMessage&) {
    const char* fn = TVC_FN;
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
        return true;
    }
    TVC_LOG_ERROR("%s: Error! m_js_binder is NULL, so not calling HandleWebAppQuit on browser.",
                  fn);
    complete(false);
    return true;
}

bool ClientApp::SetLocalTimeMap(const RenderBrowserRef& browser, const ProcessMessage& message) {
    RenderFrameRef frame = browser ? browser->GetMainFrame() : nullptr;
    JSContextRef context = frame ? frame->GetContext() : nullptr;
    // A main frame of another origin is told nothing.
    if (!m_js_binder || !m_js_binder->HasBridge(context)) context = nullptr;
    engine::JSValueRef window = context && context->IsValid() ? context->GetGlobal() : nullptr;
    if (!window || !window->IsObject()) {
        TVC_LOG_ERROR("%s : %s : no main-frame window object", TVC_FN, msg::kGetLocalTimeMap);
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

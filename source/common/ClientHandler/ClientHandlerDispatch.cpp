// The page's process messages: the console lines, the quit-time filter, then the routes each
// component registered. Main thread.
#include "common/ClientHandler/ClientHandler.h"
#include "common/LogHelper.h"
#include "common/NativeMessaging/InterAppMessagingManager.h"
#include "common/ProcessMessages.h"
#include "common/TaskRunner.h"

namespace tvc {
using engine::ProcessMessage;

void ClientHandler::AddRoutes() {
    AddWindowRoutes(m_routes);
    AddPageRoutes(m_routes);
    AddSettingsRoutes(m_routes);
    AddInterAppRoutes(m_routes);
}

bool ClientHandler::OnProcessMessageReceived(engine::BrowserRef browser, engine::ProcessId source,
                                             const ProcessMessage& message) {
    // Console lines are the page's log, not requests: they are kept during the quit too, which is
    // when they matter most, and are not logged again as messages.
    if (message.name == msg::kConsoleMessage) return m_routes.Dispatch(browser, message);
    TVC_LOG_INFO("%s on-browser-thrd: %d on-render-thrd: %d\n", TVC_FN,
                 runner::OnMainThread() ? 1 : 0, 0);
    TVC_LOG_INFO("%s message: %s source_pid : %d\n", TVC_FN, message.name.c_str(),
                 static_cast<int>(source));

    if (Internal_OnProcessMessageReceived_HandleQuitState(browser, message)) {
        TVC_LOG_WARN(
            "%s : not processing, message was handled by "
            "Internal_OnProcessMessageReceived_HandleQuitState()\n",
            TVC_FN);
        return true;
    }

    // A page of another origin has no bridge; a message claiming to come from it is consumed.
    if (!IsShowingOwnOrigin(browser, message.name)) return true;

    // The built-in routes leave the message unconsumed, as the original handler did.
    m_routes.Dispatch(browser, message);
    return false;
}

bool ClientHandler::Internal_OnProcessMessageReceived_HandleQuitState(
    engine::BrowserRef, const ProcessMessage& message) {
    static const char* fn = TVC_FN;
    const auto& quitHandler = m_messaging->QuitHandler();
    if (!quitHandler) {
        TVC_LOG_WARN("%s : m_pAppQuitHandler = NULL\n", fn);
        return false;
    }
    if (!quitHandler->IsQuitInProgress()) return false;
    // While quitting the page asks for nothing more: every message is consumed.
    if (message.name == msg::kTvdQuitCompletion) {
        auto manager = m_messaging->Manager();
        TVC_LOG_WARN("%s : calling HandleJSQuitCompletion t_enumInterAppMessageManagerState=%u \n",
                     fn, manager ? static_cast<unsigned>(manager->GetManagerState()) : 1u);
        CompleteQuitFromPage("the page's answer");
    }
    return true;
}

void ClientHandler::CompleteQuitFromPage(const char* cause) {
    TVC_LOG_WARN("%s : %s completes the page's turn", TVC_FN, cause);
    // Outside the engine's callback: completing the quit closes the browser that called us.
    std::weak_ptr<CAppQuitHandler> weak = m_messaging->QuitHandler();
    runner::Post([weak] {
        if (auto handler = weak.lock()) handler->HandleJSQuitCompletion();
    });
}

void ClientHandler::AddPageRoutes(CMessageRoutes& routes) {
    routes.Add(msg::kConsoleMessage,
               {.act = [this](auto browser,
                              auto& m) { OnConsoleMessage(browser, m.args[0].GetString(), "", 0); },
                .mismatch = "ClientHandler::OnProcessMessageReceived: tvc.console-message invalid "
                            "argument."});
    // Recognised and left alone: the page's status and the binder's bind need no answer, and the
    // page's quit answer counts only while the quit runs (the quit-time filter hears it then).
    for (const char* name :
         {msg::kAppCommandVisibility, msg::kJavascriptBinderCommandBind, msg::kTvdQuitCompletion})
        routes.Add(name, {});
    routes.Add(msg::kShowSplashScreen, {.act = [this](auto, auto&) { DisplaySplashScreen(true); }});
    routes.Add(msg::kHideSplashScreen,
               {.act = [this](auto, auto&) { DisplaySplashScreen(false); }});
    routes.Add(
        msg::kFullScreen,
        {.act = [this](auto browser,
                       auto& m) { HandleFullScreenRequest(browser, m.args[0].GetBool()); },
         .mismatch = "ClientHandler::OnProcessMessageReceived: kFullScreen invalid argument.\n"});
    routes.Add(msg::kJSOnAppReadyEvent,
               {.act = [this](auto browser, auto&) { HandlePageReady(browser); }});
}

void ClientHandler::HandleFullScreenRequest(engine::BrowserRef browser, bool on) {
    TVC_LOG_WARN("ClientHandler::OnProcessMessageReceived: Fullscreen %d\n", on ? 1 : 0);
    m_pFullScreenHandler->SetFullScreen(on);
    if (browser)
        browser->GetHost().SetFocus(true);
    else
        TVC_LOG_ERROR(
            "ClientHandler::OnProcessMessageReceived: set-focus : browser object was NULL!\n");
    // The echo goes out even when the state did not change: the page's accessor waits for it.
    if (auto main = GetBrowser())
        main->SendProcessMessage(engine::ProcessId::Renderer,
                                 ProcessMessage{msg::kFullScreenToggle, {on}});
}

void ClientHandler::HandlePageReady(engine::BrowserRef browser) {
    TVC_LOG_WARN("%s. OnJSAppReadyEvent received", "ClientHandler::OnProcessMessageReceived");
    DisplaySplashScreen(false);
    // Nothing fills the local-time map, so it is always the empty object.
    ProcessMessage reply{msg::kGetLocalTimeMap, {std::string("{}")}};
    if (!browser || !browser->SendProcessMessage(engine::ProcessId::Renderer, reply))
        TVC_LOG_ERROR(
            "SimpleHandler::OnProcessMessageReceived - Could not send GetLocalTimeMap message");
}
}  // namespace tvc

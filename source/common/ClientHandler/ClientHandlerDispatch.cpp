// The page's process messages, picked apart in the catalogue's order. Main thread.
#include <thread>

#include "common/ClientHandler/ClientHandler.h"
#include "common/LogHelper.h"
#include "common/NativeMessaging/InterAppMessagingManager.h"
#include "common/ProcessMessages.h"

namespace tvc {
using engine::MatchesCatalogue;
using engine::ProcessMessage;
using msg::Arg;

bool ClientHandler::OnProcessMessageReceived(engine::BrowserRef browser, engine::ProcessId source,
                                             const ProcessMessage& message) {
    TVC_LOG_INFO("%s on-browser-thrd: %d on-render-thrd: %d\n", TVC_FN,
                 std::this_thread::get_id() == m_mainThreadId ? 1 : 0, 0);
    TVC_LOG_INFO("%s message: %s source_pid : %d\n", TVC_FN, message.name.c_str(),
                 static_cast<int>(source));

    // Console lines are the page's log, not requests: they are kept during the quit too, which is
    // when they matter most.
    if (message.name == msg::kConsoleMessage) {
        if (MatchesCatalogue(message))
            OnConsoleMessage(browser, message.args[0].GetString(), "", 0);
        else
            TVC_LOG_ERROR("ClientHandler::OnProcessMessageReceived: %s invalid argument.",
                          msg::kConsoleMessage);
        return true;
    }

    if (Internal_OnProcessMessageReceived_HandleQuitState(browser, message)) {
        TVC_LOG_WARN(
            "%s : not processing, message was handled by "
            "Internal_OnProcessMessageReceived_HandleQuitState()\n",
            TVC_FN);
        return true;
    }

    if (message.name == msg::kJavascriptBinderCommandBind) {
        // Compared only: nothing sends it.
    }
    if (message.name == msg::kNativeMessageListenerCommandControl) {
        StartOnetimeDownload_WebSocketsTrialPortList_FromWeb(browser);
        StartNativeMessagingListener();
        TellPageAfterCrash(browser);
    }
    if (message.name == msg::kAppCommandVisibility) {
        // Compared only.
    }
    if (DispatchChain(browser, message)) return true;

    for (auto& delegate : m_processMessageDelegates)
        if (delegate->OnProcessMessageReceived(*this, browser, source, message)) return true;
    return false;
}

// Rows 4 to 21: at most one acts. Returns whether the message was one of them; the built-in rows
// leave the result to the delegates, as the original handler did.
bool ClientHandler::DispatchChain(engine::BrowserRef browser, const ProcessMessage& message) {
    static const char* fn = "ClientHandler::OnProcessMessageReceived";
    const std::string& name = message.name;
    const auto& args = message.args;
    if (name == msg::kSetWindowSize) {
        if (MatchesCatalogue(message))
            SetWindowSize(args[0].GetInt(), args[1].GetInt());
        else
            TVC_LOG_ERROR("%s: SetWindowSizeMessage argument mismatch", fn);
    } else if (name == msg::kSetMinimumWindowSize) {
        if (MatchesCatalogue(message))
            SetMinimumWindowSize(args[0].GetInt(), args[1].GetInt());
        else
            TVC_LOG_ERROR("%s: SetMinimumWindowSizeMessage argument mismatch", fn);
    } else if (name == msg::kStickWindowOnTop) {
        TVC_LOG_WARN("ClientHandler::OnProcessMessageReceived: StickWindowOnTopMessage ++");
        if (MatchesCatalogue(message))
            StickWindowOnTop(args[0].GetBool());
        else
            TVC_LOG_ERROR(
                "ClientHandler::OnProcessMessageReceived: StickWindowOnTopMessage argument "
                "mismatch");
    } else if (name == msg::kIsWindowStickyOnTop) {
        TVC_LOG_WARN("ClientHandler::OnProcessMessageReceived: IsWindowStickyOnTopMessage");
        if (args.size() == 1)
            TVC_LOG_WARN(
                "ClientHandler::OnProcessMessageReceived: IsWindowStickyOnTopMessage returns "
                "success");
    } else if (name == msg::kMaximizeWindow) {
        ShowMaximizedWindow();
    } else if (name == msg::kMinimizeWindow) {
        ShowMinimizedWindow();
    } else if (name == msg::kBringWindowToFront) {
        HandleBringWindowToFrontMessage(message);
    } else if (name == msg::kNativeMessageFromTvdJs) {
        if (MatchesCatalogue(message))
            SendStringAsInterAppMessage(args[0].GetString());
        else
            TVC_LOG_ERROR(
                "SimpleHandler::OnProcessMessageReceived: kNativeMessageFromTVDJS invalid "
                "argument.");
    } else if (name == msg::kShowSplashScreen) {
        DisplaySplashScreen(true);
    } else if (name == msg::kHideSplashScreen) {
        DisplaySplashScreen(false);
    } else if (name == msg::kFullScreen) {
        if (MatchesCatalogue(message))
            HandleFullScreenRequest(browser, message);
        else
            TVC_LOG_ERROR(
                "ClientHandler::OnProcessMessageReceived: kFullScreen invalid argument.\n");
    } else if (name == msg::kJSOnAppReadyEvent) {
        HandlePageReady(browser);
    } else if (name == msg::kSetAppcastURL) {
        HandleSetAppcastURL(message);
    } else if (name == msg::kSetLocale) {
        HandleSetLocale(browser, message);
    } else if (name == msg::kSetPopupDomain) {
        HandleSetPopupDomain(message);
    } else if (name == msg::kHideApp) {
        TVC_LOG_WARN("%s HideApp called", fn);
        HideApp(GetMainHwnd());
    } else if (name == msg::kSetFocus) {
        TVC_LOG_WARN("%s SetFocus called", fn);
        // The web view is the main window's only child: focusing the window hands focus to it.
        SetFocusWindow(GetMainHwnd());
    } else if (name == msg::kLaunchURL) {
        TVC_LOG_WARN("%s LaunchURLMessage\n", fn);
        if (MatchesCatalogue(message))
            OpenUrlExternally(args[0].GetString());
        else
            TVC_LOG_ERROR(
                "SimpleHandler::OnProcessMessageReceived: kLaunchURLMessage argument number "
                "mismatch");
    }
    return false;
}

bool ClientHandler::Internal_OnProcessMessageReceived_HandleQuitState(
    engine::BrowserRef, const ProcessMessage& message) {
    static const char* fn = TVC_FN;
    if (!m_pAppQuitHandler) {
        TVC_LOG_WARN("%s : m_pAppQuitHandler = NULL\n", fn);
        return false;
    }
    if (!m_pAppQuitHandler->IsQuitInProgress()) return false;
    // While quitting the page asks for nothing more: every message is consumed.
    if (message.name == msg::kTvdQuitCompletion) {
        auto manager = m_inter_app_msg_manager;
        TVC_LOG_WARN("%s : calling HandleJSQuitCompletion t_enumInterAppMessageManagerState=%u \n",
                     fn, manager ? static_cast<unsigned>(manager->GetManagerState()) : 1u);
        CompleteQuitFromPage("the page's answer");
    }
    return true;
}

void ClientHandler::CompleteQuitFromPage(const char* cause) {
    TVC_LOG_WARN("%s : %s completes the page's turn", TVC_FN, cause);
    // Outside the engine's callback: completing the quit closes the browser that called us.
    std::weak_ptr<CAppQuitHandler> weak = m_pAppQuitHandler;
    RunOnMainLoop([weak] {
        if (auto handler = weak.lock()) handler->HandleJSQuitCompletion();
    });
}

void ClientHandler::HandleBringWindowToFrontMessage(const ProcessMessage& message) {
    int fromTray = 0;
    // An argument list is always present here; only its shape can be wrong.
    if (MatchesCatalogue(message)) {
        fromTray = message.args[0].GetInt();
        BringWindowToFront(fromTray != 0);
    } else {
        TVC_LOG_WARN(
            "ClientHandler::OnProcessMessageReceived: BringWindowToFrontMessage without "
            "arguments.");
    }
    TVC_LOG_WARN(
        "ClientHandler::OnProcessMessageReceived: BringWindowToFrontMessage with "
        "iIsTriggeredFrom_OnTrayIconMenuOpenApplication=%d --",
        fromTray);
}

void ClientHandler::HandleFullScreenRequest(engine::BrowserRef browser,
                                            const ProcessMessage& message) {
    const bool on = message.args[0].GetBool();
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

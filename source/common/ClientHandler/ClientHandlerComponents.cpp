// Creation, start and release of the long-lived native components the handler owns.
#include <algorithm>

#include "common/AppCookieHandler/CookieObserver.h"
#include "common/AppInfo.h"
#include "common/AppWindowHandler/AppWindowUtil.h"
#include "common/AppWindowHandler/NativeWindowObserver.h"
#include "common/ClientHandler/ClientHandler.h"
#include "common/LogHelper.h"
#include "common/NativeMessaging/InterAppMessagingManager.h"
#include "common/NativeMessaging/NativeMsgObserver.h"
#include "common/NativeMessaging/WebSocketsMessagingManager.h"
#include "common/ProcessMessages.h"
#include "common/TaskRunner.h"
#include "common/UrlPolicy.h"
#include "update/AutoUpdateHandler.h"

namespace tvc {
namespace {
std::shared_ptr<IInterAppMessagingManager> CreateWebSocketManager(
    const std::vector<unsigned>& ports, const CAppOrigins& appOrigins) {
    auto manager = std::make_shared<CWebSocketsMessagingManager>();
    manager->Set_Trial_PortList(ports);
    // The application's own web origins may open the socket, asked at every handshake: the page
    // can change the stored start address while the program runs. A file: page's origin names no
    // site (every local file shares it), so it opens nothing.
    manager->SetAllowedWebSiteOrigins({}, [appOrigins] {
        std::vector<std::string> origins = appOrigins.Current();
        std::erase_if(origins, [](const std::string& origin) { return !IsWebUrl(origin); });
        return origins;
    });
    return manager;
}
}  // namespace

void ClientHandler::CheckNativeMessageListenerIntegrity() {
    static const char* fn = TVC_FN;
    if (m_inter_app_msg_manager) {
        TVC_LOG_WARN(
            "ClientApp::CheckBinderIntegrity CInterAppMessagingManagerBase already created.\n");
        return;
    }
    std::vector<unsigned> ports;
    LoadWSTrialPorts(ports, false);
    m_inter_app_msg_manager = m_managerFactory ? m_managerFactory(ports, &runner::Post)
                                               : CreateWebSocketManager(ports, GetAppOrigins());
    if (!m_inter_app_msg_manager) {
        TVC_LOG_ERROR("%s : the messaging manager could not be created", fn);
        return;
    }
    // The page learns when its sends are refused and when they are taken again.
    if (auto ws = std::dynamic_pointer_cast<CWebSocketsMessagingManager>(m_inter_app_msg_manager))
        ws->SetSendQueueStateHandler([weak = weak_from_this()](bool bFull) {
            auto self = weak.lock();
            auto browser = self ? self->GetBrowser() : nullptr;
            if (browser)
                browser->SendProcessMessage(engine::ProcessId::Renderer,
                                            {msg::kInterAppSendQueueFull, {bFull}});
        });
    if (auto ws = std::dynamic_pointer_cast<CWebSocketsMessagingManager>(m_inter_app_msg_manager))
        ws->SetListeningHandler([weak = weak_from_this()] {
            if (auto self = weak.lock()) self->HandleInterAppMessagingListening();
        });
    // Created in the order they are notified (ids ascend): the quit handler first, then the native
    // message, cookie and window observers.
    m_pAppQuitHandler = std::make_shared<CAppQuitHandler>();
    m_pAppQuitHandler->SetClientHandler(
        std::static_pointer_cast<IAppQuitClient>(shared_from_this()));
    SubscribeInterAppObserver(m_pAppQuitHandler);
    m_pNativeMsgObserver =
        std::make_shared<CNativeMsgObserver>(GetBrowser(), m_StartupURL, m_inter_app_msg_manager);
    SubscribeInterAppObserver(m_pNativeMsgObserver);
    m_pCCookieObserver = std::make_shared<CCookieObserver>(GetBrowser(), m_cookieStore);
    m_pCCookieObserver->SetClientHandler(shared_from_this());
    {
        std::string cache;
        if (CAppPaths::GetPath(CAppPaths::eCacheFolder, cache) == CAppPaths::eOk && !cache.empty())
            m_pCCookieObserver->ResumeInterruptedRequest(cache + "PendingCookies.json");
    }
    SubscribeInterAppObserver(m_pCCookieObserver);
    m_pCNativeWindowObserver = std::make_shared<CNativeWindowObserver>(m_windowOps);
    SubscribeInterAppObserver(m_pCNativeWindowObserver);
    TVC_LOG_WARN(
        "ClientHandler::CheckNativeMessageListenerIntegrity: subscription to "
        "m_inter_app_msg_manager done.\n");
}

bool ClientHandler::SubscribeInterAppObserver(
    const std::shared_ptr<IInterAppMessageObserver>& observer) {
    if (!observer || !m_inter_app_msg_manager) return false;
    if (!m_inter_app_msg_manager->Subscribe(observer)) return false;
    m_subscribedObservers.push_back(observer);
    return true;
}

void ClientHandler::AddInterAppRoutes(CMessageRoutes& routes) {
    // Every new script context asks; only the first request starts anything.
    routes.Add(msg::kNativeMessageListenerCommandControl, {.act = [this](auto browser, auto&) {
                   StartOnetimeDownload_WebSocketsTrialPortList_FromWeb(browser);
                   StartNativeMessagingListener();
                   TellPageAfterCrash(browser);
               }});
    routes.Add(msg::kNativeMessageFromTvdJs,
               {.act =
                    [this](auto, auto& m) {
                        // The page's text answers the connection it names, and no peer after it.
                        SendStringAsInterAppMessage(m.args[0].GetString(), m.args[1].GetInt());
                    },
                .mismatch = "SimpleHandler::OnProcessMessageReceived: kNativeMessageFromTVDJS "
                            "invalid argument."});
}

void ClientHandler::StartNativeMessagingListener() {
    CheckNativeMessageListenerIntegrity();
    if (m_bListenerStarted) {
        TVC_LOG_WARN("ClientApp::StartNativeMessagingListener : Already triggered once.\n");
        return;
    }
    if (!m_inter_app_msg_manager) {
        TVC_LOG_ERROR(
            "ClientApp::StartNativeMessagingListener : ERROR : m_inter_app_msg_manager is NULL.\n");
        return;
    }
    m_bListenerStarted = true;
    m_inter_app_msg_manager->Start();
}

void ClientHandler::RetryNativeMessagingListener() {
    static const char* fn = TVC_FN;
    if (!m_mainThreadTimer) {
        TVC_LOG_ERROR("%s : no main-thread timer, the listener is not tried again", fn);
        return;
    }
    TVC_LOG_WARN("%s : no port could be listened on; trying again in %d ms", fn,
                 static_cast<int>(kListenerRetryDelay.count()));
    std::weak_ptr<ClientHandler> weak = weak_from_this();
    m_listenerRetryPending = true;
    m_mainThreadTimer(kListenerRetryDelay, [weak] {
        auto self = weak.lock();
        if (!self) return;
        self->m_listenerRetryPending = false;
        if (self->IsClosing() || !self->m_inter_app_msg_manager) return;
        if (self->m_pAppQuitHandler && self->m_pAppQuitHandler->IsQuitInProgress()) return;
        if (!self->m_inter_app_msg_manager->Start()) self->OnListenerAttemptsSettled();
    });
}

bool ClientHandler::IsListenerAttemptPending() {
    if (m_portListDownloadPending || m_listenerRetryPending) return true;
    // A manager that is not idle has a run whose end is still to be told (or one that works).
    auto manager = m_inter_app_msg_manager;
    return manager && manager->GetManagerState() != eIdle;
}

void ClientHandler::StopNativeMessagingListener() {
    static const char* fn = TVC_FN;
    if (!m_inter_app_msg_manager) {
        TVC_LOG_WARN("%s : m_inter_app_msg_manager is NULL", fn);
        return;
    }
    SaveActiveWSPort();
    m_inter_app_msg_manager->Stop();
}

bool ClientHandler::SendStringAsInterAppMessage(const std::string& text,
                                                std::optional<int> connection) {
    static const char* fn = TVC_FN;
    // Read once: the quit sequence may release the manager between a check and a use.
    auto manager = m_inter_app_msg_manager;
    if (!manager) {
        TVC_LOG_ERROR("%s -- : error - m_inter_app_msg_manager is NULL!", fn);
        return false;
    }
    return connection ? manager->SendToConnection(*connection, text) : manager->Send(text);
}

void ClientHandler::CheckUpdateHandlerIntegrity() {
    std::string userData;
    if (CAppPaths::GetPath(CAppPaths::eUserAppDataFolder, userData) != CAppPaths::eOk)
        userData.clear();
    // The installer runs: the application leaves through the ordinary quit, with the window
    // brought up first so the user sees what is going on.
    m_updates->EnsureController(GetBrowser(),
                                userData.empty() ? "" : userData + GetUpdateDirectoryPath(),
                                [weak = weak_from_this()] {
                                    auto self = weak.lock();
                                    auto window = self ? self->GetMainHwnd() : nullptr;
                                    if (!window) return;
                                    window->Show();
                                    window->Raise();
                                    CAppWindowUtil::PerformUserWindowClose(window);
                                });
}

void ClientHandler::UnregisterNativeMessageObservers() {
    static const char* fn = TVC_FN;
    if (!m_inter_app_msg_manager) {
        TVC_LOG_WARN("%s : m_inter_app_msg_manager is NULL", fn);
        return;
    }
    // Whatever observers exist: from now on only the quit handler hears the peer.
    const std::shared_ptr<IInterAppMessageObserver> quitHandler = m_pAppQuitHandler;
    std::erase_if(m_subscribedObservers, [&](const auto& observer) {
        if (observer == quitHandler) return false;
        m_inter_app_msg_manager->UnSubscribe(observer);
        return true;
    });
}

void ClientHandler::UnregisterQuitHandlerNativeMessageObserver() {
    static const char* fn = TVC_FN;
    if (!m_pAppQuitHandler || !m_inter_app_msg_manager) {
        TVC_LOG_WARN("%s : m_pAppQuitHandler or m_inter_app_msg_manager is NULL", fn);
        return;
    }
    const std::shared_ptr<IInterAppMessageObserver> quitHandler = m_pAppQuitHandler;
    m_inter_app_msg_manager->UnSubscribe(quitHandler);
    std::erase(m_subscribedObservers, quitHandler);
}

void ClientHandler::FinishWorkInFlight(std::function<void()> done) {
    if (m_pCCookieObserver)
        m_pCCookieObserver->FinishInFlight(std::move(done));
    else if (done)
        done();
}

void ClientHandler::CleanupRefs() {
    TVC_LOG_WARN("releasing: m_pAutoUpdateHandler-before");
    m_updates->Release();
    TVC_LOG_WARN("releasing: m_pAutoUpdateHandler-after");
    TVC_LOG_WARN("releasing: m_pCNativeWindowObserver-before");
    m_pCNativeWindowObserver.reset();
    TVC_LOG_WARN("releasing: m_pCNativeWindowObserver-after");
    TVC_LOG_WARN("releasing: m_pCCookieObserver-before");
    m_pCCookieObserver.reset();
    TVC_LOG_WARN("releasing: m_pCCookieObserver-after");
    TVC_LOG_WARN("releasing: m_pNativeMsgObserver-before");
    m_pNativeMsgObserver.reset();
    TVC_LOG_WARN("releasing: m_pNativeMsgObserver-after");
    if (m_inter_app_msg_manager) {
        TVC_LOG_WARN("cleanup: m_inter_app_msg_manager");
        m_inter_app_msg_manager->Cleanup();
    }
    m_subscribedObservers.clear();
}
}  // namespace tvc

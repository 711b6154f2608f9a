// The manager and its observers: their creation, the listener's runs and their release.
#include "common/ClientHandler/InterAppMessaging.h"

#include <algorithm>

#include "common/AppCookieHandler/CookieObserver.h"
#include "common/AppInfo.h"
#include "common/AppWindowHandler/NativeWindowObserver.h"
#include "common/ClientHandler/BrowserSet.h"
#include "common/ClientHandler/ClientHandler.h"
#include "common/LogHelper.h"
#include "common/NativeMessaging/InterAppMessagingManager.h"
#include "common/NativeMessaging/NativeMsgObserver.h"
#include "common/NativeMessaging/WebSocketsMessagingManager.h"
#include "common/ProcessMessages.h"
#include "common/TaskRunner.h"
#include "common/UrlPolicy.h"

namespace tvc {
namespace {
std::shared_ptr<IInterAppMessagingManager> CreateWebSocketManager(
    const std::vector<unsigned>& ports, const CAppOrigins& appOrigins) {
    auto manager = std::make_shared<CWebSocketsMessagingManager>();
    manager->Set_Trial_PortList(ports);
    // The application's configured web origins may open the socket; nothing the page stores
    // widens the list. A file: page's origin names no site (every local file shares it), so it
    // opens nothing.
    std::vector<std::string> origins = appOrigins.Current();
    std::erase_if(origins, [](const std::string& origin) { return !IsWebUrl(origin); });
    manager->SetAllowedWebSiteOrigins(origins);
    return manager;
}
}  // namespace

CInterAppMessaging::CInterAppMessaging(std::shared_ptr<CWindowOperations> windowOps,
                                       std::shared_ptr<CBrowserSet> browsers,
                                       ManagerFactory factory, Timer timer)
    : m_windowOps(std::move(windowOps)),
      m_browsers(std::move(browsers)),
      m_managerFactory(std::move(factory)),
      m_timer(timer ? std::move(timer) : Timer(&runner::PostDelayedDetached)) {}

CInterAppMessaging::~CInterAppMessaging() = default;

void CInterAppMessaging::SetCookieStore(std::shared_ptr<engine::ICookieStore> store) {
    m_cookieStore = std::move(store);
}
void CInterAppMessaging::SetListenerHooks(ListenerHooks hooks) {
    m_hooks = std::move(hooks);
}

void CInterAppMessaging::CheckNativeMessageListenerIntegrity(ClientHandler& handler) {
    static const char* fn = TVC_FN;
    if (m_inter_app_msg_manager) {
        TVC_LOG_WARN(
            "ClientApp::CheckBinderIntegrity CInterAppMessagingManagerBase already created.\n");
        return;
    }
    std::vector<unsigned> ports;
    LoadWSTrialPorts(ports, false);
    m_inter_app_msg_manager = m_managerFactory
                                  ? m_managerFactory(ports)
                                  : CreateWebSocketManager(ports, handler.GetAppOrigins());
    if (!m_inter_app_msg_manager) {
        TVC_LOG_ERROR("%s : the messaging manager could not be created", fn);
        return;
    }
    if (auto ws = std::dynamic_pointer_cast<CWebSocketsMessagingManager>(m_inter_app_msg_manager)) {
        // The page learns when its sends are refused and when they are taken again.
        ws->SetSendQueueStateHandler([weak = weak_from_this()](bool bFull) {
            auto self = weak.lock();
            auto browser = self ? self->m_browsers->Main() : nullptr;
            if (browser)
                browser->SendProcessMessage(engine::ProcessId::Renderer,
                                            {msg::kInterAppSendQueueFull, {bFull}});
        });
        ws->SetListeningHandler([weak = weak_from_this()] {
            if (auto self = weak.lock()) self->OnListening();
        });
    }
    // Created in the order they are notified (ids ascend): the quit handler first, then the native
    // message, cookie and window observers.
    m_pAppQuitHandler = std::make_shared<CAppQuitHandler>();
    m_pAppQuitHandler->SetClientHandler(m_quitClient);
    SubscribeInterAppObserver(m_pAppQuitHandler);
    m_pNativeMsgObserver = std::make_shared<CNativeMsgObserver>(
        handler.GetBrowser(), handler.GetStartupURL(), m_inter_app_msg_manager);
    SubscribeInterAppObserver(m_pNativeMsgObserver);
    m_pCCookieObserver = std::make_shared<CCookieObserver>(handler.GetBrowser(), m_cookieStore);
    m_pCCookieObserver->SetClientHandler(handler.shared_from_this());
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

bool CInterAppMessaging::SubscribeInterAppObserver(
    const std::shared_ptr<IInterAppMessageObserver>& observer) {
    if (!observer || !m_inter_app_msg_manager) return false;
    if (!m_inter_app_msg_manager->Subscribe(observer)) return false;
    m_subscribedObservers.push_back(observer);
    return true;
}

void CInterAppMessaging::StartNativeMessagingListener(ClientHandler& handler) {
    CheckNativeMessageListenerIntegrity(handler);
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

void CInterAppMessaging::RetryNativeMessagingListener() {
    TVC_LOG_WARN("%s : no port could be listened on; trying again in %d ms", TVC_FN,
                 static_cast<int>(kListenerRetryDelay.count()));
    m_listenerRetryPending = true;
    m_timer(kListenerRetryDelay, [weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self) return;
        self->m_listenerRetryPending = false;
        if (self->m_browsers->IsClosing() || !self->m_inter_app_msg_manager) return;
        if (self->IsQuitInProgress()) return;
        if (!self->m_inter_app_msg_manager->Start()) self->Settled();
    });
}

bool CInterAppMessaging::IsListenerAttemptPending() const {
    if (m_portListDownloadPending || m_listenerRetryPending) return true;
    // A manager that is not idle has a run whose end is still to be told (or one that works).
    return m_inter_app_msg_manager && m_inter_app_msg_manager->GetManagerState() != eIdle;
}

void CInterAppMessaging::OnListening() {
    if (m_hooks.listening) m_hooks.listening();
}

void CInterAppMessaging::ReportModuleFailure() {
    if (m_hooks.failure)
        m_hooks.failure();
    else
        TVC_LOG_ERROR("%s : nobody to tell that the listener keeps failing", TVC_FN);
}

void CInterAppMessaging::Settled() {
    if (m_hooks.settled) m_hooks.settled();
}

bool CInterAppMessaging::IsQuitInProgress() const {
    return m_pAppQuitHandler && m_pAppQuitHandler->IsQuitInProgress();
}

void CInterAppMessaging::StopNativeMessagingListener() {
    if (!m_inter_app_msg_manager) {
        TVC_LOG_WARN("%s : m_inter_app_msg_manager is NULL", TVC_FN);
        return;
    }
    SaveActiveWSPort();
    m_inter_app_msg_manager->Stop();
}

bool CInterAppMessaging::SendStringAsInterAppMessage(const std::string& text,
                                                     std::optional<int> connection) {
    // Read once: the quit sequence may release the manager between a check and a use.
    auto manager = m_inter_app_msg_manager;
    if (!manager) {
        TVC_LOG_ERROR("%s -- : error - m_inter_app_msg_manager is NULL!", TVC_FN);
        return false;
    }
    return connection ? manager->SendToConnection(*connection, text) : manager->Send(text);
}

void CInterAppMessaging::UnregisterNativeMessageObservers() {
    if (!m_inter_app_msg_manager) {
        TVC_LOG_WARN("%s : m_inter_app_msg_manager is NULL", TVC_FN);
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

void CInterAppMessaging::UnregisterQuitHandlerNativeMessageObserver() {
    if (!m_pAppQuitHandler || !m_inter_app_msg_manager) {
        TVC_LOG_WARN("%s : m_pAppQuitHandler or m_inter_app_msg_manager is NULL", TVC_FN);
        return;
    }
    const std::shared_ptr<IInterAppMessageObserver> quitHandler = m_pAppQuitHandler;
    m_inter_app_msg_manager->UnSubscribe(quitHandler);
    std::erase(m_subscribedObservers, quitHandler);
}

void CInterAppMessaging::FinishWorkInFlight(std::function<void()> done) {
    if (m_pCCookieObserver)
        m_pCCookieObserver->FinishInFlight(std::move(done));
    else if (done)
        done();
}

void CInterAppMessaging::CleanupRefs() {
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

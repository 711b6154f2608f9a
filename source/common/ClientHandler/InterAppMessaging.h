// Inter-app messaging as the browser side runs it: the WebSocket manager and the observers that
// hear its peers (the quit handler first), the listener's start, retry and stop, and its trial
// ports (the default list, the downloaded one and the last port that worked).
//
// Threads: main thread only, the manager's notifications included.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/AppQuitHandler/AppQuitHandler.h"
#include "engine/Browser.h"
#include "engine/CookieStore.h"

class IInterAppMessagingManager;
class IInterAppMessageObserver;
class CNativeMsgObserver;
class CCookieObserver;
class CNativeWindowObserver;

namespace tvc {
class CBrowserSet;
class ClientHandler;
class CWindowOperations;

class CInterAppMessaging : public std::enable_shared_from_this<CInterAppMessaging> {
  public:
    // Long enough for a port held by a program that is closing (an earlier run of this one).
    static constexpr std::chrono::milliseconds kListenerRetryDelay{2000};

    using ManagerFactory =
        std::function<std::shared_ptr<IInterAppMessagingManager>(const std::vector<unsigned>&)>;
    using Timer = std::function<void(std::chrono::milliseconds, std::function<void()>)>;
    // What the product does when a listener run binds a port, when a run that was pending will
    // not come after all, and when the quit handler finds the listener failing for good.
    struct ListenerHooks {
        std::function<void()> listening;
        std::function<void()> settled;
        std::function<void()> failure;
    };

    // The window observer acts on `windowOps`; the page whose sends are refused is `browsers`'
    // main one. Without a factory the manager is the WebSocket one; without a timer the retry
    // waits on the task runner.
    CInterAppMessaging(std::shared_ptr<CWindowOperations> windowOps,
                       std::shared_ptr<CBrowserSet> browsers, ManagerFactory factory = {},
                       Timer timer = {});
    ~CInterAppMessaging();
    CInterAppMessaging(const CInterAppMessaging&) = delete;
    CInterAppMessaging& operator=(const CInterAppMessaging&) = delete;

    // The browser's cookie store, which the extension's "setCookies" replaces.
    void SetCookieStore(std::shared_ptr<engine::ICookieStore> store);
    void SetListenerHooks(ListenerHooks hooks);
    // The quit handler's client; the quit handler is made with the manager.
    void SetQuitClient(std::weak_ptr<IAppQuitClient> client) { m_quitClient = std::move(client); }

    // ---- the listener ----
    // Creates the manager and its observers once, for `handler`'s main browser; the cookie
    // observer answers through `handler`.
    void CheckNativeMessageListenerIntegrity(ClientHandler& handler);
    void StartNativeMessagingListener(ClientHandler& handler);
    // A run that found no port is started again after kListenerRetryDelay, unless the
    // application is closing by then.
    void RetryNativeMessagingListener();
    // Saves the active port, then stops the listener.
    void StopNativeMessagingListener();
    // A run is under way or may still come (the port list being downloaded, or a retry due), so
    // a failure so far is not yet the last word.
    bool IsListenerAttemptPending() const;
    // The manager's listener has bound a port.
    void OnListening();
    // The listener keeps failing: the product tells the user.
    void ReportModuleFailure();

    // The manager's Send copies the text into its queue, for `connection` or the active one;
    // false without a manager.
    bool SendStringAsInterAppMessage(const std::string& text,
                                     std::optional<int> connection = std::nullopt);
    // Every observer but the quit handler stops hearing the peers; then the quit handler too.
    void UnregisterNativeMessageObservers();
    void UnregisterQuitHandlerNativeMessageObserver();
    // The cookie request with the store, if any; `done` at once without one.
    void FinishWorkInFlight(std::function<void()> done);
    // Releases the observers and cleans the manager up.
    void CleanupRefs();

    // ---- the trial ports ----
    // Downloads the port-list file with `browser`, once; false when that has been done before.
    bool StartOnetimeDownload_WebSocketsTrialPortList_FromWeb(const engine::BrowserRef& browser);
    // The port-list file's download ended; a usable list reaches the manager, which runs with it
    // when idle.
    void HandleWebsocketsConfigFileDownloadProcessCompletion(bool isSuccess);
    // Appends the downloaded ports; false (nothing appended) when the file is unreadable or not a
    // port list. Keeps its help address for the port-failure dialog.
    bool LoadWSPortsFromWebJSONFile(std::vector<unsigned>& ports);
    // The default list (with the downloaded ports after it), the last port moved to the front.
    // False only when the downloaded ports were asked for and are unusable.
    bool LoadWSTrialPorts(std::vector<unsigned>& ports, bool includeDownloaded);
    // The active port into the preferences; false (the stored one stays) without one.
    bool SaveActiveWSPort();
    const std::string& GetWSHelpUrl() const { return m_strWSHelpUrl; }

    const std::shared_ptr<IInterAppMessagingManager>& Manager() const {
        return m_inter_app_msg_manager;
    }
    const std::shared_ptr<CAppQuitHandler>& QuitHandler() const { return m_pAppQuitHandler; }
    bool IsQuitInProgress() const;

  private:
    bool SubscribeInterAppObserver(const std::shared_ptr<IInterAppMessageObserver>& observer);
    void Settled();

    const std::shared_ptr<CWindowOperations> m_windowOps;
    const std::shared_ptr<CBrowserSet> m_browsers;
    const ManagerFactory m_managerFactory;
    const Timer m_timer;
    std::shared_ptr<engine::ICookieStore> m_cookieStore;
    ListenerHooks m_hooks;
    std::weak_ptr<IAppQuitClient> m_quitClient;

    std::shared_ptr<IInterAppMessagingManager> m_inter_app_msg_manager;
    std::vector<std::shared_ptr<IInterAppMessageObserver>> m_subscribedObservers;
    std::shared_ptr<CAppQuitHandler> m_pAppQuitHandler;
    std::shared_ptr<CNativeMsgObserver> m_pNativeMsgObserver;
    std::shared_ptr<CCookieObserver> m_pCCookieObserver;
    std::shared_ptr<CNativeWindowObserver> m_pCNativeWindowObserver;
    std::string m_strWSHelpUrl;
    bool m_bListenerStarted = false;
    bool IsStarted_OnetimeDownload_WebSocketsTrialPortList = false;
    bool m_portListDownloadPending = false;
    bool m_listenerRetryPending = false;
};
}  // namespace tvc

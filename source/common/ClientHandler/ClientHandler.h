// The browser-process client: decides what happens for every engine callback of the hosted browser,
// turns the page's process messages into window operations and settings, and owns the long-lived
// native components (messaging manager and observers, quit handler, update controller).
//
// Threads: every operation runs on the browser process's main thread (the GLib main context), the
// messaging manager's notifications included; nothing here is locked.
#pragma once

#include <chrono>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/AppOrigins.h"
#include "common/AppQuitHandler/AppQuitHandler.h"
#include "common/AppWindowHandler/WindowOperations.h"
#include "common/ClientHandler/DownloadRouter.h"
#include "common/ClientHandler/MessageRoutes.h"
#include "common/ClientHandler/NativeFullScreenHandler.h"
#include "common/ClientHandler/PageRecovery.h"
#include "common/ClientHandler/UpdateFlow.h"
#include "common/FirstSight.h"
#include "common/MainThreadPoster.h"
#include "engine/Browser.h"
#include "engine/Client.h"
#include "engine/ContextMenu.h"
#include "engine/CookieStore.h"
#include "engine/Download.h"
#include "engine/ProcessMessage.h"
#include "platform/AppWindow.h"

class IInterAppMessagingManager;
class IInterAppMessageObserver;
class CNativeMsgObserver;
class CCookieObserver;
class CNativeWindowObserver;

namespace tvc {
class ClientHandler : public std::enable_shared_from_this<ClientHandler>,
                      public engine::IClient,
                      public IAppQuitClient {
  public:
    // Engine error codes as the adapter reports them.
    static constexpr int kErrorAborted = engine::kErrorAborted;
    static constexpr int kErrorUnknownUrlScheme = engine::kErrorUnknownUrlScheme;
    static constexpr int kMenuIdShowDevTools = 26500;
    static constexpr int kMenuIdCloseDevTools = 26506;
    static constexpr int kMenuIdInspectElement = 26507;
    static constexpr int kDragOperationLink = engine::kDragOperationLink;
    static constexpr const char* kConsoleLogFileName = "TVCJSLog.log";
    // Long enough for a port held by a program that is closing (an earlier run of this one).
    static constexpr std::chrono::milliseconds kListenerRetryDelay{2000};

    using ManagerFactory = std::function<std::shared_ptr<IInterAppMessagingManager>(
        const std::vector<unsigned>& trialPorts, MainThreadPoster postToMainThread)>;

    // The window's operations, the update flow and the page's recovery belong to the shell, which
    // shares the window's with the window observer; without them the handler makes its own.
    explicit ClientHandler(std::shared_ptr<CWindowOperations> windowOps = nullptr,
                           std::shared_ptr<CUpdateFlow> updates = nullptr,
                           std::shared_ptr<CPageRecovery> recovery = nullptr);
    ~ClientHandler() override;
    ClientHandler(const ClientHandler&) = delete;
    ClientHandler& operator=(const ClientHandler&) = delete;

    // ---- wiring by the shell (before the browser exists) ----
    CWindowOperations& WindowOps() { return *m_windowOps; }
    // Called once, when the last live browser has closed.
    void SetQuitMessageLoopCallback(std::function<void()> quitLoop);
    // Delayed main-thread tasks (the listener's retry); the task runner's unless tests replace it.
    using MainThreadTimer = std::function<void(std::chrono::milliseconds, std::function<void()>)>;
    void SetMainThreadTimer(MainThreadTimer timer);
    // Tests replace the WebSocket manager; the default builds CWebSocketsMessagingManager.
    void SetInterAppMessagingManagerFactory(ManagerFactory factory);
    // The browser's cookie store, which the extension's "setCookies" replaces.
    void SetCookieStore(std::shared_ptr<engine::ICookieStore> store);

    virtual void SetMainHwnd(std::shared_ptr<platform::IAppWindow> window);
    const std::shared_ptr<platform::IAppWindow>& GetMainHwnd() const {
        return m_windowOps->Window();
    }
    // The main window gained or lost the focus, or was minimised or restored: the page's
    // IsAppActive and IsAppMinimized follow. Main thread.
    void OnMainWindowStateChanged(bool active, bool minimized);
    const std::string& GetStartupURL() const { return m_StartupURL; }
    // The start address in use, the web site and the start-address prefix (and the start address
    // the page stored): the origins trusted with the bridge, permissions and the WebSocket.
    const CAppOrigins& GetAppOrigins();
    engine::BrowserRef GetBrowser() override;
    bool IsClosing() const { return m_bIsClosing; }
    int GetLiveBrowserCount() const { return m_liveBrowserCount; }
    const std::string& GetWSHelpUrl() const { return m_strWSHelpUrl; }
    std::shared_ptr<CAppQuitHandler> GetAppQuitHandler() { return m_pAppQuitHandler; }
    std::shared_ptr<IInterAppMessagingManager> GetInterAppMessagingManager() {
        return m_inter_app_msg_manager;
    }
    std::shared_ptr<CCookieObserver> GetCookieObserver() { return m_pCCookieObserver; }

    // ---- engine callbacks, fed by the adapter ----
    void OnAfterCreated(engine::BrowserRef browser) override;
    // True when the close is taken over: the main browser closes with its window.
    bool DoClose(engine::BrowserRef browser) override;
    void OnBeforeClose(engine::BrowserRef browser) override;
    // True cancels the popup.
    bool OnBeforePopup(engine::BrowserRef browser, engine::FrameRef frame,
                       const std::string& targetUrl) override;
    void OnLoadError(engine::BrowserRef browser, engine::FrameRef frame, int errorCode,
                     const std::string& errorText, const std::string& failedUrl) override;
    void OnRenderProcessTerminated(engine::BrowserRef browser,
                                   engine::TerminationStatus status) override;
    void OnLoadStart(engine::BrowserRef browser, const std::string& url) override;
    void OnLoadCommit(engine::BrowserRef browser) override;
    void OnResponsivenessChange(engine::BrowserRef browser, bool responsive) override;
    // True when the key reloaded the page.
    bool OnKeyEvent(engine::BrowserRef browser, const engine::KeyEvent& event) override;
    bool OnConsoleMessage(engine::BrowserRef browser, const std::string& message,
                          const std::string& source, int line) override;
    bool OnProcessMessageReceived(engine::BrowserRef browser, engine::ProcessId source,
                                  const engine::ProcessMessage& message) override;
    // The page's requests this handler acts on, by their row of the bridge table.
    const CMessageRoutes& GetRoutes() const { return m_routes; }
    void OnBeforeContextMenu(engine::BrowserRef browser, const engine::ContextMenuParams& params,
                             engine::IContextMenuModel& model) override;
    bool OnContextMenuCommand(engine::BrowserRef browser, const engine::ContextMenuParams& params,
                              int commandId) override;
    // True refuses the drag.
    bool OnDragEnter(engine::BrowserRef browser, int dragOperationsMask) override;
    // True lets the operating system open the address.
    bool OnProtocolExecution(engine::BrowserRef browser, const std::string& url) override;
    // Grants every kind to the application's own origins only; each refusal is logged once per
    // origin and kind.
    bool OnPermissionRequest(engine::BrowserRef browser, const std::string& kind) override;
    // The destination ("" cancels the download) and its limits: its size (by kind, and never
    // more than its folder's free space leaves) and "--download-stall-timeout-ms" (default 60 s).
    engine::DownloadTarget OnBeforeDownload(engine::BrowserRef browser,
                                            const engine::DownloadItem& item,
                                            const std::string& suggestedName) override;
    void OnDownloadUpdated(engine::BrowserRef browser, const engine::DownloadItem& item) override;

    // Asks every popup, then the main browser, to close.
    void CloseAllBrowsers(bool forceClose) override;
    void DisplaySplashScreen(bool show);

    // ---- components ----
    void CheckNativeMessageListenerIntegrity();
    void StartNativeMessagingListener();
    // A run that found no port is started again after kListenerRetryDelay, unless the
    // application is quitting by then.
    void RetryNativeMessagingListener() override;
    // Saves the active port, then stops the listener.
    void StopNativeMessagingListener() override;
    void CheckUpdateHandlerIntegrity();
    virtual void TriggerApplicationUpdate() { m_updates->Trigger(); }
    // The manager's Send copies the text into its queue, for `connection` or the active one;
    // false without a manager.
    bool SendStringAsInterAppMessage(const std::string& text,
                                     std::optional<int> connection = std::nullopt);
    void UnregisterNativeMessageObservers() override;
    void UnregisterQuitHandlerNativeMessageObserver() override;
    // The cookie request with the store, if any.
    void FinishWorkInFlight(std::function<void()> done) override;
    void CleanupRefs() override;
    void HandleInterAppMessagingModuleFailure() override = 0;
    // Main thread: a listener run is under way or may still come (the port list being
    // downloaded, or a retry due), so a failure so far is not yet the last word.
    bool IsListenerAttemptPending();
    // Main thread: a run that was pending will not come after all.
    virtual void OnListenerAttemptsSettled() {}
    // Main thread: a listener run has bound a port.
    virtual void HandleInterAppMessagingListening() {}

    // ---- downloads: the port-list file, the updater's files and the page's own ----
    bool StartOnetimeDownload_WebSocketsTrialPortList_FromWeb(engine::BrowserRef browser);
    virtual void HandleWebsocketsConfigFileDownloadProcessCompletion(bool isSuccess);

    // ---- the listener's trial ports ----
    // Appends the downloaded ports; false (nothing appended) when the file is unreadable or not a
    // port list. Keeps its help address for the port-failure dialog.
    bool LoadWSPortsFromWebJSONFile(std::vector<unsigned>& ports);
    // The default list (with the downloaded ports after it), the last port moved to the front.
    // False only when the downloaded ports were asked for and are unusable.
    bool LoadWSTrialPorts(std::vector<unsigned>& ports, bool includeDownloaded);
    // The active port into the preferences; false (the stored one stays) without one.
    bool SaveActiveWSPort();
    // "CorvaneMedia/TavistoForWeb/Update/", below the user data folder.
    static std::string GetUpdateDirectoryPath() {
        return CDownloadRouter::GetUpdateDirectoryPath();
    }

    // ---- dispatch and window operations ----
    bool Internal_OnProcessMessageReceived_HandleQuitState(engine::BrowserRef browser,
                                                           const engine::ProcessMessage& message);
    // The window's own operations are WindowOps(); these are the ones the handler's callers use.
    void BringWindowToFront(bool bDontPerformForegroundCheck) {
        m_windowOps->BringWindowToFront(bDontPerformForegroundCheck);
    }
    // Hands an http, https, mailto or "spotify:" address to the desktop; refuses and logs the rest.
    bool OpenUrlExternally(const std::string& url) override {
        return m_windowOps->OpenUrlExternally(url);
    }

    // ---- settings the page sets ----
    // Without an address (the page's arguments did not fit) the default folder is used.
    void HandleSetAppcastURL(std::optional<std::string> url);
    void HandleSetLocale(engine::BrowserRef browser, const std::string& locale);
    void HandleSetPopupDomain(const std::string& domains);

  protected:
    void SetStartupURL(const std::string& url) { m_StartupURL = url; }
    bool WasQuitMessageLoopCalled() const { return m_bQuitLoopCalled; }
    // Counts a closed browser; ends the loop exactly once when none is left.
    void ReleaseLiveBrowser();

  private:
    // Every new document starts in step with the window (a new web process knows nothing yet).
    void SendWindowState(engine::BrowserRef browser);
    // The page's messages, each component's under its names.
    void AddRoutes();
    void AddWindowRoutes(CMessageRoutes& routes);
    void AddPageRoutes(CMessageRoutes& routes);
    void AddSettingsRoutes(CMessageRoutes& routes);
    void AddInterAppRoutes(CMessageRoutes& routes);
    // False (logged, bounded) when `browser` shows a page of another origin than the
    // application's: its messages are not acted on.
    bool IsShowingOwnOrigin(engine::BrowserRef browser, const std::string& what);
    bool SubscribeInterAppObserver(const std::shared_ptr<IInterAppMessageObserver>& observer);
    std::string GetPopupDomainList() const { return m_popupDomainList; }
    // The page's completion, whatever brought it (message, web process end).
    void CompleteQuitFromPage(const char* cause);
    void HandleFullScreenRequest(engine::BrowserRef browser, bool on);
    void HandlePageReady(engine::BrowserRef browser);
    bool IsMainBrowser(const engine::BrowserRef& browser);
    // The page that replaced a crashed one learns that a peer is connected.
    void TellPageAfterCrash(engine::BrowserRef browser);

    const std::shared_ptr<CWindowOperations> m_windowOps;
    const std::shared_ptr<CUpdateFlow> m_updates;
    const std::shared_ptr<CPageRecovery> m_recovery;
    CDownloadRouter m_downloads;
    engine::BrowserRef m_Browser;
    int m_BrowserId = 0;
    bool m_bIsClosing = false;
    std::list<engine::BrowserRef> m_PopupBrowsers;
    CMessageRoutes m_routes;
    std::string m_consoleLogPath;
    std::string m_StartupURL;
    std::string m_popupDomainList;
    std::string m_strWSHelpUrl;
    std::optional<CAppOrigins> m_appOrigins;  // built at first use, once the start address is set
    CFirstSight m_loggedRefusals{256};

    std::shared_ptr<IInterAppMessagingManager> m_inter_app_msg_manager;
    std::vector<std::shared_ptr<IInterAppMessageObserver>> m_subscribedObservers;
    std::shared_ptr<CAppQuitHandler> m_pAppQuitHandler;
    std::shared_ptr<CNativeMsgObserver> m_pNativeMsgObserver;
    std::shared_ptr<CCookieObserver> m_pCCookieObserver;
    std::shared_ptr<CNativeWindowObserver> m_pCNativeWindowObserver;
    std::shared_ptr<IFullScreenHandler> m_pFullScreenHandler;

    bool m_bListenerStarted = false;
    bool IsStarted_OnetimeDownload_WebSocketsTrialPortList = false;
    bool m_portListDownloadPending = false;
    bool m_listenerRetryPending = false;
    int m_liveBrowserCount = 0;
    bool m_bQuitLoopCalled = false;

    std::function<void()> m_quitMessageLoop;
    MainThreadTimer m_mainThreadTimer;
    ManagerFactory m_managerFactory;
    std::shared_ptr<engine::ICookieStore> m_cookieStore;
};
}  // namespace tvc

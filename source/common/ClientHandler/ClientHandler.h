// The browser-process client: decides what happens for every engine callback of the hosted browser,
// turns the page's process messages into window operations and settings, and owns the long-lived
// native components (messaging manager and observers, quit handler, update controller).
//
// Threads: every operation runs on the browser process's main thread (the GLib main context),
// unless its comment says otherwise. The handler lock `m_lock` guards the window, the browser
// references, the closing flag, the popup domain list and the path strings; it is never held while
// calling out (window, desktop, browser, splash, file system), so callbacks may re-enter the
// handler.
#pragma once

#include <chrono>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/AppQuitHandler/AppQuitHandler.h"
#include "common/AppWindowHandler/AppWindowUtil.h"
#include "common/ClientHandler/CrashReloadGuard.h"
#include "common/ClientHandler/MessageRoutes.h"
#include "common/ClientHandler/NativeFullScreenHandler.h"
#include "common/MainThreadPoster.h"
#include "engine/Browser.h"
#include "engine/Client.h"
#include "engine/ContextMenu.h"
#include "engine/CookieStore.h"
#include "engine/Download.h"
#include "engine/ProcessMessage.h"
#include "platform/AppWindow.h"
#include "platform/Splash.h"

class IInterAppMessagingManager;
class IInterAppMessageObserver;
class CNativeMsgObserver;
class CCookieObserver;
class CNativeWindowObserver;
class CAutoUpdateHandler;

namespace tvc {
class ClientHandler;

// Offered every process message the built-in handling did not consume, in registration order.
class IProcessMessageDelegate {
  public:
    virtual ~IProcessMessageDelegate() = default;
    virtual bool OnProcessMessageReceived(ClientHandler& handler, engine::BrowserRef browser,
                                          engine::ProcessId source,
                                          const engine::ProcessMessage& message) = 0;
};

class ClientHandler : public std::enable_shared_from_this<ClientHandler>,
                      public engine::IClient,
                      public IAppWindowClient,
                      public IAppQuitClient {
  public:
    // Engine error codes as the adapter reports them.
    static constexpr int kErrorAborted = engine::kErrorAborted;
    static constexpr int kErrorUnknownUrlScheme = engine::kErrorUnknownUrlScheme;
    static constexpr int kMenuIdShowDevTools = 26500;
    static constexpr int kMenuIdCloseDevTools = 26506;
    static constexpr int kMenuIdInspectElement = 26507;
    static constexpr int kDragOperationLink = engine::kDragOperationLink;
    // Commands the shell's window procedure answers for the updater's downloads.
    static constexpr int kCmdNotifyDownloadComplete = 32001;
    static constexpr int kCmdNotifyDownloadFailed = 32002;
    static constexpr const char* kConsoleLogFileName = "TVCJSLog.log";
    // Long enough for a port held by a program that is closing (an earlier run of this one).
    static constexpr std::chrono::milliseconds kListenerRetryDelay{2000};

    using ManagerFactory = std::function<std::shared_ptr<IInterAppMessagingManager>(
        const std::vector<unsigned>& trialPorts, MainThreadPoster postToMainThread)>;
    using UpdateHandlerFactory = std::function<std::shared_ptr<CAutoUpdateHandler>()>;

    ClientHandler();
    ~ClientHandler() override;
    ClientHandler(const ClientHandler&) = delete;
    ClientHandler& operator=(const ClientHandler&) = delete;

    // ---- wiring by the shell (before the browser exists) ----
    void SetDesktop(std::shared_ptr<platform::IDesktop> desktop);
    std::shared_ptr<platform::IDesktop> GetDesktop();
    void SetSplashScreen(std::shared_ptr<platform::ISplashScreen> splash);
    // Called once, when the last live browser has closed.
    void SetQuitMessageLoopCallback(std::function<void()> quitLoop);
    // How work from other threads (the messaging listener) reaches the main thread.
    void SetMainThreadPoster(MainThreadPoster poster);
    // Delayed main-thread tasks (the bound on the page's quit answer).
    void SetMainThreadTimer(CAppQuitHandler::Timer timer);
    // Called with kCmdNotifyDownloadComplete / kCmdNotifyDownloadFailed for the updater's
    // downloads.
    void SetDownloadNotificationCallback(std::function<void(int commandId)> notify);
    // Tests replace the WebSocket manager; the default builds CWebSocketsMessagingManager.
    void SetInterAppMessagingManagerFactory(ManagerFactory factory);
    // Builds the update controller with its platform parts; without one there is no updater.
    void SetAutoUpdateHandlerFactory(UpdateHandlerFactory factory);
    // The browser's cookie store, which the extension's "setCookies" replaces.
    void SetCookieStore(std::shared_ptr<engine::ICookieStore> store);
    void AddProcessMessageDelegate(std::shared_ptr<IProcessMessageDelegate> delegate);

    virtual void SetMainHwnd(std::shared_ptr<platform::IAppWindow> window);
    std::shared_ptr<platform::IAppWindow> GetMainHwnd();
    const std::string& GetStartupURL() const { return m_StartupURL; }
    engine::BrowserRef GetBrowser() override;
    bool IsClosing();
    int GetLiveBrowserCount() const { return m_liveBrowserCount; }
    std::string GetPopupDomainList();
    std::string GetLastDownloadPath();
    std::string GetWSHelpUrl();
    int GetMinimumWindowWidth() const { return m_minimumWindowWidth; }
    int GetMinimumWindowHeight() const { return m_minimumWindowHeight; }
    std::shared_ptr<IFullScreenHandler> GetFullScreenHandler() const {
        return m_pFullScreenHandler;
    }
    std::shared_ptr<CAutoUpdateHandler> GetAutoUpdateHandler() { return m_pAutoUpdateHandler; }
    std::shared_ptr<CAppQuitHandler> GetAppQuitHandler() { return m_pAppQuitHandler; }
    std::shared_ptr<IInterAppMessagingManager> GetInterAppMessagingManager() {
        return m_inter_app_msg_manager;
    }
    std::shared_ptr<CNativeMsgObserver> GetNativeMsgObserver() { return m_pNativeMsgObserver; }
    std::shared_ptr<CCookieObserver> GetCookieObserver() { return m_pCCookieObserver; }
    std::shared_ptr<CNativeWindowObserver> GetNativeWindowObserver() {
        return m_pCNativeWindowObserver;
    }

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
    bool OnConsoleMessage(engine::BrowserRef browser, const std::string& message,
                          const std::string& source, int line) override;
    bool OnProcessMessageReceived(engine::BrowserRef browser, engine::ProcessId source,
                                  const engine::ProcessMessage& message) override;
    void OnBeforeContextMenu(engine::BrowserRef browser, const engine::ContextMenuParams& params,
                             engine::IContextMenuModel& model) override;
    bool OnContextMenuCommand(engine::BrowserRef browser, const engine::ContextMenuParams& params,
                              int commandId) override;
    // True refuses the drag.
    bool OnDragEnter(engine::BrowserRef browser, int dragOperationsMask) override;
    // True lets the operating system open the address.
    bool OnProtocolExecution(engine::BrowserRef browser, const std::string& url) override;
    // True grants.
    bool OnPermissionRequest(engine::BrowserRef browser) override;
    // The destination path; "" cancels the download.
    std::string OnBeforeDownload(engine::BrowserRef browser, const engine::DownloadItem& item,
                                 const std::string& suggestedName) override;
    void OnDownloadUpdated(engine::BrowserRef browser, const engine::DownloadItem& item) override;

    // With "show-on-launch": brings the window to the front, once. The shell shows the window and
    // its splash itself before the engine starts (`shownByCaller`), so they reach the screen first;
    // otherwise OnAfterCreated does it.
    void ShowOnLaunch(bool shownByCaller = false);
    // Asks every popup, then the main browser, to close.
    void CloseAllBrowsers(bool forceClose) override;
    void DisplaySplashScreen(bool show);

    // ---- components ----
    void CheckNativeMessageListenerIntegrity();
    void StartNativeMessagingListener();
    // Any thread: a run that found no port is started again after kListenerRetryDelay, unless the
    // application is quitting by then.
    void RetryNativeMessagingListener() override;
    // Saves the active port, then stops the listener.
    void StopNativeMessagingListener() override;
    void CheckUpdateHandlerIntegrity();
    virtual void TriggerApplicationUpdate();
    // The manager's Send copies the text into its queue, for `connection` or the active one;
    // false without a manager.
    bool SendStringAsInterAppMessage(const std::string& text,
                                     std::optional<int> connection = std::nullopt);
    // Subscribes an observer to the manager; the quit's start unsubscribes all but the quit
    // handler.
    bool SubscribeInterAppObserver(const std::shared_ptr<IInterAppMessageObserver>& observer);
    void UnregisterNativeMessageObservers() override;
    void UnregisterQuitHandlerNativeMessageObserver() override;
    void CleanupRefs() override;
    void HandleInterAppMessagingModuleFailure() override = 0;

    // ---- downloads: the port-list file, the updater's files and the page's own ----
    bool StartOnetimeDownload_WebSocketsTrialPortList_FromWeb(engine::BrowserRef browser);
    void HandleCEFDownloadStatus(bool bDownloadStarted, const engine::DownloadItem& item,
                                 bool& bIsHandledOut, std::string& pathToDownloadOut);
    bool HandleCEFDownloadOnBeforeStart(const engine::DownloadItem& item,
                                        std::string& pathToDownloadOut);
    bool HandleCEFDownloadInProgress(const engine::DownloadItem& item,
                                     std::string& pathToDownloadOut);
    virtual void HandleWebsocketsConfigFileDownloadProcessCompletion(bool isSuccess);

    // ---- the listener's trial ports ----
    // The cache folder's copy of the configuration file; "" without a cache folder.
    static std::string GetWSConfigFilePath();
    // Appends the downloaded ports; false (nothing appended) when the file is unreadable or not a
    // port list. Keeps its help address for the port-failure dialog.
    bool LoadWSPortsFromWebJSONFile(std::vector<unsigned>& ports);
    // The default list (with the downloaded ports after it), the last port moved to the front.
    // False only when the downloaded ports were asked for and are unusable.
    bool LoadWSTrialPorts(std::vector<unsigned>& ports, bool includeDownloaded);
    // The active port into the preferences; false (the stored one stays) without one.
    bool SaveActiveWSPort();
    // "CorvaneMedia/TavistoForWeb/Update/", below the user data folder.
    static std::string GetUpdateDirectoryPath();
    // The user's download folder: XDG_DOWNLOAD_DIR, then user-dirs.dirs, then ~/Downloads.
    static std::string GetUserDownloadFolder();

    // ---- dispatch and window operations ----
    bool Internal_OnProcessMessageReceived_HandleQuitState(engine::BrowserRef browser,
                                                           const engine::ProcessMessage& message);
    void StickWindowOnTop(bool sticky);
    void ShowMaximizedWindow();
    void ShowMinimizedWindow();
    void BringWindowToFront(bool bDontPerformForegroundCheck) override;
    void OverrideWindowCoordinatesToWithinScreen(int& width, int& height, int& x, int& y);
    void SetWindowSize(int width, int height);
    void SetMinimumWindowSize(int width, int height);
    bool SetFocusWindow(const std::shared_ptr<platform::IAppWindow>& window);
    bool HideApp(const std::shared_ptr<platform::IAppWindow>& window);
    bool GetIsSystemShutdownInProgress(bool& bIsSystemShutDownInProgress);
    // Hands an http, https, mailto or "spotify:" address to the desktop; refuses and logs the rest.
    bool OpenUrlExternally(const std::string& url) override;

    // ---- settings the page sets ----
    // Without an address (the page's arguments did not fit) the default folder is used.
    void HandleSetAppcastURL(std::optional<std::string> url);
    void HandleSetLocale(engine::BrowserRef browser, const std::string& locale);
    void HandleSetPopupDomain(const std::string& domains);

    // Tests: a clock for the crash guard.
    void SetCrashReloadClock(std::function<CCrashReloadGuard::Clock::time_point()> now);

  protected:
    void SetStartupURL(const std::string& url) { m_StartupURL = url; }
    bool WasQuitMessageLoopCalled() const { return m_bQuitLoopCalled; }
    // Counts a closed browser; ends the loop exactly once when none is left.
    void ReleaseLiveBrowser();
    const MainThreadPoster& GetMainThreadPoster() const { return m_postToMainThread; }

    int m_minimumWindowWidth = 0;
    int m_minimumWindowHeight = 0;

  private:
    // The page's messages, each component's under its names.
    void AddRoutes();
    void AddWindowRoutes(CMessageRoutes& routes);
    void AddPageRoutes(CMessageRoutes& routes);
    void AddSettingsRoutes(CMessageRoutes& routes);
    void AddInterAppRoutes(CMessageRoutes& routes);
    // Posted when there is a poster, so a close never runs inside the engine's own callback.
    void RunOnMainLoop(std::function<void()> task);
    // The page's completion, whatever brought it (message, web process end).
    void CompleteQuitFromPage(const char* cause);
    void HandleFullScreenRequest(engine::BrowserRef browser, bool on);
    void HandlePageReady(engine::BrowserRef browser);
    void ShowCrashPage(engine::IFrame& frame);
    // The page that replaced a crashed one learns that a peer is connected.
    void TellPageAfterCrash(engine::BrowserRef browser);
    std::string PageDownloadPath(const std::string& suggestedName);
    void LogDownloadProgress(const char* fn, const engine::DownloadItem& item);

    std::mutex m_lock;  // the handler lock; see the file comment
    engine::BrowserRef m_Browser;
    int m_BrowserId = 0;
    bool m_bIsClosing = false;
    std::list<engine::BrowserRef> m_PopupBrowsers;
    std::shared_ptr<platform::IAppWindow> m_MainHwnd;
    CMessageRoutes m_routes;
    std::vector<std::shared_ptr<IProcessMessageDelegate>> m_processMessageDelegates;
    std::string m_consoleLogPath;
    std::string m_lastDownloadPath;
    std::string m_StartupURL;
    std::string m_popupDomainList;
    std::string m_strWSHelpUrl;

    std::shared_ptr<IInterAppMessagingManager> m_inter_app_msg_manager;
    std::vector<std::shared_ptr<IInterAppMessageObserver>> m_subscribedObservers;
    std::shared_ptr<CAppQuitHandler> m_pAppQuitHandler;
    std::shared_ptr<CNativeMsgObserver> m_pNativeMsgObserver;
    std::shared_ptr<CCookieObserver> m_pCCookieObserver;
    std::shared_ptr<CNativeWindowObserver> m_pCNativeWindowObserver;
    std::shared_ptr<CAutoUpdateHandler> m_pAutoUpdateHandler;
    std::shared_ptr<IFullScreenHandler> m_pFullScreenHandler;

    bool m_bMouseCursorChangeDisabled = false;
    bool m_bShowOnLaunch = false;
    bool m_bShownOnLaunch = false;
    bool m_bListenerStarted = false;
    bool IsStarted_OnetimeDownload_WebSocketsTrialPortList = false;
    int m_liveBrowserCount = 0;
    bool m_bQuitLoopCalled = false;
    CCrashReloadGuard m_crashGuard;
    bool m_bPageCrashed = false;
    std::thread::id m_mainThreadId;

    std::shared_ptr<platform::IDesktop> m_desktop;
    std::shared_ptr<platform::ISplashScreen> m_splash;
    std::function<void()> m_quitMessageLoop;
    MainThreadPoster m_postToMainThread;
    CAppQuitHandler::Timer m_mainThreadTimer;
    std::function<void(int)> m_notifyDownload;
    ManagerFactory m_managerFactory;
    UpdateHandlerFactory m_updateHandlerFactory;
    std::shared_ptr<engine::ICookieStore> m_cookieStore;
};

// The manager the client handler created, for the parts of the program that do not hold the
// handler.
std::shared_ptr<IInterAppMessagingManager> GetProcessInterAppMessagingManager();
}  // namespace tvc

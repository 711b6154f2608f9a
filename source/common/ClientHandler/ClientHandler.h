// The browser-process client: decides what happens for every engine callback of the hosted browser,
// turns the page's process messages into window operations and settings, and drives the long-lived
// components the shell owns with it (window operations, update flow, page recovery, browser set,
// inter-app messaging).
//
// Threads: every operation runs on the browser process's main thread (the GLib main context), the
// messaging manager's notifications included; nothing here is locked.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/AppOrigins.h"
#include "common/AppWindowHandler/WindowOperations.h"
#include "common/ClientHandler/BrowserSet.h"
#include "common/ClientHandler/DownloadRouter.h"
#include "common/ClientHandler/InterAppMessaging.h"
#include "common/ClientHandler/MessageRoutes.h"
#include "common/ClientHandler/NativeFullScreenHandler.h"
#include "common/ClientHandler/PageRecovery.h"
#include "common/ClientHandler/QuitRoad.h"
#include "common/ClientHandler/UpdateFlow.h"
#include "common/FirstSight.h"
#include "engine/Browser.h"
#include "engine/Client.h"
#include "engine/ContextMenu.h"
#include "engine/Download.h"
#include "engine/ProcessMessage.h"
#include "platform/AppWindow.h"

namespace tvc {
class ClientHandler : public std::enable_shared_from_this<ClientHandler>, public engine::IClient {
  public:
    // Engine error codes as the adapter reports them.
    static constexpr int kErrorAborted = engine::kErrorAborted;
    static constexpr int kErrorUnknownUrlScheme = engine::kErrorUnknownUrlScheme;
    static constexpr int kMenuIdShowDevTools = 26500;
    static constexpr int kMenuIdCloseDevTools = 26506;
    static constexpr int kMenuIdInspectElement = 26507;
    static constexpr int kDragOperationLink = engine::kDragOperationLink;
    static constexpr const char* kConsoleLogFileName = "TVCJSLog.log";

    // The window's operations, the update flow, the page's recovery, the browser set and the
    // inter-app messaging belong to the shell; without them the handler makes its own. The quit
    // road is the handler's.
    explicit ClientHandler(std::shared_ptr<CWindowOperations> windowOps = nullptr,
                           std::shared_ptr<CUpdateFlow> updates = nullptr,
                           std::shared_ptr<CPageRecovery> recovery = nullptr,
                           std::shared_ptr<CBrowserSet> browsers = nullptr,
                           std::shared_ptr<CInterAppMessaging> messaging = nullptr);
    ~ClientHandler() override;
    ClientHandler(const ClientHandler&) = delete;
    ClientHandler& operator=(const ClientHandler&) = delete;

    // ---- wiring by the shell (before the browser exists) ----
    CWindowOperations& WindowOps() { return *m_windowOps; }
    CInterAppMessaging& Messaging() { return *m_messaging; }
    CBrowserSet& Browsers() { return *m_browsers; }
    // The quit handler's client.
    CQuitRoad& QuitRoad() { return *m_quitRoad; }

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
    engine::BrowserRef GetBrowser() { return m_browsers->Main(); }

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
    bool OnPermissionRequest(engine::BrowserRef browser, const std::string& kind,
                             const std::string& requestingSite) override;
    // The destination ("" cancels the download) and its limits: its size (by kind, and never
    // more than its folder's free space leaves) and "--download-stall-timeout-ms" (default 60 s).
    engine::DownloadTarget OnBeforeDownload(engine::BrowserRef browser,
                                            const engine::DownloadItem& item,
                                            const std::string& suggestedName) override;
    void OnDownloadUpdated(engine::BrowserRef browser, const engine::DownloadItem& item) override;

    void DisplaySplashScreen(bool show);

    // ---- components ----
    void CheckUpdateHandlerIntegrity();
    virtual void TriggerApplicationUpdate() { m_updates->Trigger(); }
    // The messaging's, for the cookie observer's answers (through CAppHelper).
    bool SendStringAsInterAppMessage(const std::string& text) {
        return m_messaging->SendStringAsInterAppMessage(text);
    }

    // ---- downloads: the port-list file, the updater's files and the page's own ----

    // "CorvaneMedia/TavistoForWeb/Update/", below the user data folder.
    static std::string GetUpdateDirectoryPath() {
        return CDownloadRouter::GetUpdateDirectoryPath();
    }

    // ---- dispatch and window operations ----
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
    // Told every locale the page sets (stored or not), so the program's own texts can follow.
    void SetLocaleListener(std::function<void(const std::string& locale)> listener) {
        m_onLocaleSet = std::move(listener);
    }
    void HandleSetPopupDomain(const std::string& domains);

  protected:
    void SetStartupURL(const std::string& url) { m_StartupURL = url; }

  private:
    // While quitting, the page is heard only for its completion: true when `message` is consumed.
    bool Internal_OnProcessMessageReceived_HandleQuitState(engine::BrowserRef browser,
                                                           const engine::ProcessMessage& message);
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
    bool IsQuitInProgress() const { return m_messaging->IsQuitInProgress(); }
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
    const std::shared_ptr<CBrowserSet> m_browsers;
    const std::shared_ptr<CInterAppMessaging> m_messaging;
    const std::shared_ptr<CQuitRoad> m_quitRoad;
    CDownloadRouter m_downloads;
    CMessageRoutes m_routes;
    std::string m_consoleLogPath;
    std::string m_StartupURL;
    std::string m_popupDomainList;
    std::function<void(const std::string&)> m_onLocaleSet;
    std::optional<CAppOrigins> m_appOrigins;  // built at first use, once the start address is set
    CFirstSight m_loggedRefusals{256};

    std::shared_ptr<IFullScreenHandler> m_pFullScreenHandler;
};
}  // namespace tvc

// The main window's procedure: what the top-level window does on creation, close, destroy, focus
// and the commands queued to it. Main thread only.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <memory>

#include "common/ClientHandler/TVCClientHandler.h"
#include "engine/webkitgtk/EngineModule.h"
#include "platform/gtk/GtkAppWindow.h"
#include "platform/gtk/GtkDesktop.h"
#include "platform/gtk/MessageBox.h"
#include "platform/gtk/TrayHostWatch.h"
#include "shell/EngineModuleLoader.h"
#include "shell/NetworkWatch.h"

namespace tvc::webkit {
class CWebViewClient;
}

namespace tvc::shell {

enum Command {
    CMD_ABOUT = 104,
    CUSTOM_IDM_TRAY_CONTROL_OPTION_OPEN_WEB = 10664,
    CUSTOM_IDM_TRAY_CONTROL_OPTION_EXIT = 10665,
    CUSTOM_IDM_TRAY_CONTROL_OPTION_ABOUT = 10666,
    CMD_NOTIFY_DOWNLOAD_COMPLETE = 32001,
    CMD_NOTIFY_DOWNLOAD_FAILED = 32002,
};

class CMainWindowProc {
  public:
    // WM_CREATE: the client handler, the placement (window still hidden), the splash, the browser
    // as the window's child on the handler's start address, the tray, then `deferredStartWork`.
    // With "show-on-launch" the window and its splash reach the screen first; the engine and the
    // browser follow after that first frame, as the browser's creation is asynchronous anyway. The
    // tray and the deferred work come once the page's load has started: neither the splash nor
    // the web process waits for them.
    // `engineLoader` outlives the browser's creation.
    CMainWindowProc(GtkWidget* window, CEngineModuleLoader& engineLoader,
                    webkit::EngineStartParams engineParams, bool ownMessageLoop,
                    std::function<void()> deferredStartWork = {});
    ~CMainWindowProc();
    CMainWindowProc(const CMainWindowProc&) = delete;
    CMainWindowProc& operator=(const CMainWindowProc&) = delete;

    // WM_COMMAND: queued, handled in arrival order. Any thread.
    void PostCommand(int commandId);
    // What the tray's "Quit" does; also the road of SIGTERM. False when the window is gone already.
    bool RequestQuit();
    // What a second launch asks of this one, with its launcher's activation token (may be empty).
    void BringToFront(const std::string& activationToken);

    const std::shared_ptr<CTVCClientHandler>& handler() const { return g_handler; }
    platform::gtk::GtkDesktop& desktop() const { return *m_desktop; }
    // After the loop: stops the listener and releases the components while logging still works.
    // The quit sequence does this first when it exists; repeating it is harmless.
    void Shutdown();
    // Non-zero when the engine could not start; the loop has been ended then.
    int GetStartFailure() const { return m_startFailure; }
    bool IsWindowAlive() const { return m_window != nullptr; }
    // The window's normal-state placement into the preferences, without asking the display (which
    // may be gone).
    void SaveNormalRect();

  private:
    static gboolean OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer self);
    static void OnDestroy(GtkWidget*, gpointer self);
    static gboolean OnFocusIn(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer self);
    static void OnActiveChanged(GObject*, GParamSpec*, gpointer self);
    static gboolean OnWindowState(GtkWidget*, GdkEventWindowState* event, gpointer self);
    // Tells the handler whether the window has the focus and whether it is minimised.
    void ReportWindowState(GdkWindowState state);

    // What tasks posted for this object hold: it is gone once they cannot lock it.
    std::weak_ptr<CMainWindowProc*> Weak() const { return m_self; }
    void CreateBrowser();
    void StartLoad();
    void RunDeferredStartWork();
    // WM_CLOSE; true keeps the window.
    bool HandleClose();
    // `downloadPath`: where the updater's download that CMD_NOTIFY_DOWNLOAD_* ends was written.
    void HandleCommand(int commandId, const std::string& downloadPath = {});
    void ShowAbout(bool fromTray);
    void SendToPage(const char* name);

    const std::shared_ptr<CMainWindowProc*> m_self = std::make_shared<CMainWindowProc*>(this);
    GtkWidget* m_window;
    GtkWidget* m_overlay = nullptr;
    GtkWidget* m_webView = nullptr;
    CEngineModuleLoader& m_engineLoader;
    webkit::EngineStartParams m_engineParams;
    std::unique_ptr<webkit::IEngineSession> m_engine;
    int m_startFailure = 0;
    std::shared_ptr<CTVCClientHandler> g_handler;
    std::shared_ptr<platform::gtk::GtkAppWindow> m_appWindow;
    std::shared_ptr<platform::gtk::GtkDesktop> m_desktop;
    // The window's operations, shared with the handler and the companion extension's observer.
    std::shared_ptr<CWindowOperations> m_windowOps;
    std::shared_ptr<CUpdateFlow> m_updates;
    std::shared_ptr<CPageRecovery> m_pageRecovery;
    std::shared_ptr<CBrowserSet> m_browsers;
    std::shared_ptr<CInterAppMessaging> m_messaging;
    std::shared_ptr<platform::gtk::CGtkMessageBoxes> m_messageBoxes;
    // Without a tray host the close box minimises: a hidden window could not be brought back.
    std::unique_ptr<platform::gtk::CTrayHostWatch> m_trayHostWatch;
    bool m_noTrayHostLogged = false;
    bool g_bTVDAboutWindowShown = false;
    bool m_aboutOpen = false;
    bool m_ownMessageLoop;
    std::function<void()> m_deferredStartWork;
    std::unique_ptr<CNetworkWatch> m_networkWatch;
};
}  // namespace tvc::shell

#include "shell/WndProc.h"

#include <cstdio>
#include <utility>

#include "common/AppHelper.h"
#include "common/AppInfo.h"
#include "common/AppWindowHandler/AppWindowUtil.h"
#include "common/ClientHandler/AppUrls.h"
#include "common/CommandLine.h"
#include "common/LogHelper.h"
#include "common/ProcessMessages.h"
#include "common/TaskRunner.h"
#include "glibutil/GObjectPtr.h"
#include "platform/gtk/AboutBox.h"
#include "platform/gtk/GtkUpdateUi.h"
#include "platform/gtk/PageNotRespondingDialog.h"
#include "platform/gtk/SplashScreen.h"
#include "shell/AppQuit.h"
#include "shell/BrowserMain.h"
#include "shell/Language.h"
#include "shell/MainWindow.h"
#include "shell/TrayControl.h"
#include "shell/WindowPlacement.h"
#include "update/AutoUpdateHandler.h"
#include "update/UpdateSettings.h"

namespace tvc::shell {

CMainWindowProc::CMainWindowProc(GtkWidget* window, CEngineModuleLoader& engineLoader,
                                 webkit::EngineStartParams engineParams, bool ownMessageLoop,
                                 std::function<void()> deferredStartWork)
    : m_window(window),
      m_engineLoader(engineLoader),
      m_engineParams(std::move(engineParams)),
      m_ownMessageLoop(ownMessageLoop),
      m_deferredStartWork(std::move(deferredStartWork)) {
    m_desktop = std::make_shared<platform::gtk::GtkDesktop>();
    m_windowOps = std::make_shared<CWindowOperations>(CTVCClientHandler::kMinimumWindowWidth,
                                                      CTVCClientHandler::kMinimumWindowHeight);
    m_windowOps->SetDesktop(m_desktop);
    m_updates = std::make_shared<CUpdateFlow>(
        [] {
            auto settings =
                update::MakeUpdateSettings(*GetGlobalCommandLine(), &GetAppcastDirectoryURL);
            settings.requestRestart = &RequestRestartAfterQuit;
            return std::make_shared<CAutoUpdateHandler>(
                std::move(settings), std::make_shared<platform::gtk::GtkUpdateUi>());
        },
        [this](int id) { PostCommand(id); });
    m_pageRecovery = std::make_shared<CPageRecovery>();
    m_browsers = std::make_shared<CBrowserSet>(&AppQuitMessageLoop);
    m_messaging = std::make_shared<CInterAppMessaging>(m_windowOps, m_browsers);
    g_handler = std::make_shared<CTVCClientHandler>(m_windowOps, m_updates, m_pageRecovery,
                                                    m_browsers, m_messaging);
    // The dialogs' Help takes the same road, and the same address rules, as the page's LaunchURL.
    m_messageBoxes = std::make_shared<platform::gtk::CGtkMessageBoxes>(
        [weak = std::weak_ptr<CTVCClientHandler>(g_handler)](const std::string& url) {
            auto handler = weak.lock();
            return handler && handler->OpenUrlExternally(url);
        });
    g_handler->SetMessageBoxes(m_messageBoxes);
    // The page's new locale: the tray menu and every window opened from now on speak it.
    g_handler->SetLocaleListener([](const std::string& locale) {
        UseLanguage(locale);
        TrayControl_Relabel();
    });
    m_trayHostWatch = std::make_unique<platform::gtk::CTrayHostWatch>([this](bool present) {
        if (present) {
            m_noTrayHostLogged = false;
            return;
        }
        // Hidden in a tray that has gone, the window could not be brought back: it waits minimised.
        if (m_window && !m_appWindow->IsVisible() &&
            !CAppHelper::GetIsApplicationWindowCloseExpected()) {
            TVC_LOG_WARN(
                "WndProc : the tray host went away while the window was hidden: minimised");
            m_appWindow->ShowMinimized();
        }
    });

    // A queued close takes the same road as the window's own close request.
    m_appWindow = std::make_shared<platform::gtk::GtkAppWindow>(GTK_WINDOW(window), [this] {
        if (m_window && !HandleClose()) gtk_widget_destroy(m_window);
    });
    int x = 0, y = 0, width = 0, height = 0;
    RestoreWindowPosition(*m_desktop, x, y, width, height);
    m_appWindow->SetRect({x, y, width, height});

    g_signal_connect(window, "delete-event", G_CALLBACK(OnDeleteEvent), this);
    g_signal_connect(window, "destroy", G_CALLBACK(OnDestroy), this);
    g_signal_connect(window, "focus-in-event", G_CALLBACK(OnFocusIn), this);
    g_signal_connect(window, "notify::is-active", G_CALLBACK(OnActiveChanged), this);
    g_signal_connect(window, "window-state-event", G_CALLBACK(OnWindowState), this);
    if (m_ownMessageLoop) g_signal_connect(window, "key-press-event", G_CALLBACK(OnKeyPress), this);

    m_overlay = gtk_overlay_new();
    gtk_container_add(GTK_CONTAINER(m_window), m_overlay);
    gtk_widget_show(m_overlay);
    m_pageRecovery->SetSplashScreen(platform::gtk::CreateSplashScreen(GTK_OVERLAY(m_overlay)));
    m_pageRecovery->SetPageNotRespondingDialog(
        std::make_shared<platform::gtk::CPageNotRespondingDialog>(GTK_WINDOW(window)));
    g_handler->SetMainHwnd(m_appWindow);

    if (GetGlobalCommandLine()->HasSwitch("show-on-launch")) {
        // A first show needs no minimise-restore sequence: the window was never on screen.
        m_appWindow->Show();
        m_appWindow->Raise();
        m_windowOps->ShowOnLaunch(true);
        RunAfterNextFrame(m_window, [self = Weak()] {
            if (auto proc = self.lock()) (*proc)->CreateBrowser();
        });
    } else {
        CreateBrowser();
    }
}

CMainWindowProc::~CMainWindowProc() {
    if (m_window) g_signal_handlers_disconnect_by_data(m_window, this);
}

void CMainWindowProc::Shutdown() {
    const auto& quitHandler = m_messaging->QuitHandler();
    const bool quitDone =
        quitHandler && quitHandler->GetQuitState() == eQuitHander_State_QuitHandlingDone;
    if (g_handler && m_messaging->Manager() && !quitDone) {
        g_handler->QuitRoad().StopNativeMessagingListener();
        g_handler->QuitRoad().CleanupRefs();
    }
    if (m_engine) m_engine->Detach();
}

void CMainWindowProc::CreateBrowser() {
    if (!m_window) return;
    std::string error;
    // The web process gives the bridge to the frames of these origins only.
    m_engineParams.extensionInitData["app-origins"] = g_handler->GetAppOrigins().Serialize();
    if (const webkit::EngineModuleApi* engineModule = m_engineLoader.Get(error))
        m_engine = engineModule->start(m_engineParams, error);
    if (!m_engine) {
        std::fprintf(stderr, "Tavisto for Web: the browser engine did not start: %s\n",
                     error.c_str());
        TVC_LOG_ERROR("%s : the browser engine did not start: %s", "WndProc", error.c_str());
        m_startFailure = 3;
        if (gtk_main_level() > 0) gtk_main_quit();
        return;
    }
    m_messaging->SetCookieStore(m_engine->CookieStore());
    m_webView = m_engine->WebView();
    // The splash is the overlay's top layer; the view goes under it.
    gtk_container_add(GTK_CONTAINER(m_overlay), m_webView);

    auto browser = m_engine->Attach(g_handler);
    // Starts the browser log (its purge must come before any web process has opened its file) and
    // shows the window when "show-on-launch" is given.
    g_handler->OnAfterCreated(browser);
    StartLoad();
    RunDeferredStartWork();
}

void CMainWindowProc::RunDeferredStartWork() {
    TrayControl_Setup(this);
    // Only a load that failed waits for the network, and none has failed before this.
    m_networkWatch = std::make_unique<CNetworkWatch>(
        [weak = std::weak_ptr<CPageRecovery>(m_pageRecovery)](bool available) {
            if (auto recovery = weak.lock()) recovery->OnNetworkChanged(available);
        });
    if (auto work = std::exchange(m_deferredStartWork, nullptr)) work();
}

void CMainWindowProc::StartLoad() {
    gtk_widget_show(m_webView);
    m_engine->Load(g_handler->GetStartupURL());
}

bool CMainWindowProc::HandleClose() {
    if (!CAppHelper::GetIsApplicationWindowCloseExpected()) {
        if (m_trayHostWatch->IsHostPresent()) {
            m_appWindow->Hide();
        } else {
            if (!m_noTrayHostLogged)
                TVC_LOG_WARN(
                    "WndProc : WM_CLOSE : no tray host on the session bus, so the window is "
                    "minimised instead of hidden: hidden, it could not be brought back");
            m_noTrayHostLogged = true;
            m_appWindow->ShowMinimized();
        }
        SendToPage(msg::kNotificationOnNativeApplicationHide);
        if (g_handler)
            g_handler->TriggerApplicationUpdate();
        else
            TVC_LOG_ERROR("%s : WM_CLOSE : g_Handler is NULL, so not initiating auto-update.",
                          "WndProc");
        TVC_LOG_WARN("WndProc : WM_CLOSE is skipped.");
        return true;
    }
    TVC_LOG_WARN("WndProc : WM_CLOSE");
    if (g_handler && !m_browsers->IsClosing()) {
        TVC_LOG_WARN("WndProc : WM_CLOSE: handle deferred app-quit\n");
        if (auto quitHandler = m_messaging->QuitHandler()) {
            // The window goes at once; the quit sequence closes it again once the page is done.
            TVC_LOG_WARN("WndProc : WM_CLOSE: quitHandler->StartQuitSequence-before");
            quitHandler->StartQuitSequence();
            m_appWindow->Hide();
            TVC_LOG_WARN("WndProc : WM_CLOSE: quitHandler->StartQuitSequence-after");
            TVC_LOG_WARN("WndProc : WM_CLOSE: cancel-close");
            return true;
        }
        TVC_LOG_WARN("WndProc : quitHandler is NULL");
        TVC_LOG_WARN("WndProc : WM_CLOSE: quitHandler-null-ref: fall-through-to-allow-close \n");
    } else {
        TVC_LOG_WARN(
            "WndProc : WM_CLOSE: g_handler-null-ref OR we are closing - "
            "fall-through-to-allow-close\n");
    }
    TVC_LOG_WARN("WndProc : WM_CLOSE: allow-close");
    platform::Rect rect = m_appWindow->GetRect();
    SaveWindowPosition(rect.x, rect.y, rect.width, rect.height);
    return false;
}

void CMainWindowProc::SavePlacementWithoutDisplay() {
    const platform::Rect rect = m_appWindow->LastKnownRect();
    if (rect.width > 0 && rect.height > 0)
        SaveWindowPosition(rect.x, rect.y, rect.width, rect.height);
}

gboolean CMainWindowProc::OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer self) {
    auto* proc = static_cast<CMainWindowProc*>(self);
    return proc->HandleClose() ? TRUE : FALSE;
}

void CMainWindowProc::OnDestroy(GtkWidget*, gpointer self) {
    auto* proc = static_cast<CMainWindowProc*>(self);
    TrayControl_Delete();
    if (proc->g_handler) TVC_LOG_WARN("WndProc : WM_DESTROY: g_handler-valid\n");
    TVC_LOG_WARN("WndProc : WM_DESTROY:\n");
    proc->m_window = nullptr;
    proc->m_webView = nullptr;
    // The loop ends with the last browser; a window closed before any browser existed (a quit
    // during start-up) has none to wait for.
    if (proc->m_browsers->LiveCount() == 0) AppQuitMessageLoop();
}

gboolean CMainWindowProc::OnFocusIn(GtkWidget*, GdkEvent*, gpointer self) {
    auto* proc = static_cast<CMainWindowProc*>(self);
    if (proc->m_webView && proc->g_handler && proc->g_handler->GetBrowser())
        gtk_widget_grab_focus(proc->m_webView);
    return FALSE;
}

void CMainWindowProc::OnActiveChanged(GObject*, GParamSpec*, gpointer self) {
    auto* proc = static_cast<CMainWindowProc*>(self);
    GdkWindow* gw = proc->m_window ? gtk_widget_get_window(proc->m_window) : nullptr;
    proc->ReportWindowState(gw ? gdk_window_get_state(gw) : GdkWindowState{});
}

gboolean CMainWindowProc::OnWindowState(GtkWidget*, GdkEventWindowState* event, gpointer self) {
    static_cast<CMainWindowProc*>(self)->ReportWindowState(event->new_window_state);
    return FALSE;
}

void CMainWindowProc::ReportWindowState(GdkWindowState state) {
    if (!m_window || !g_handler) return;
    g_handler->OnMainWindowStateChanged(gtk_window_is_active(GTK_WINDOW(m_window)),
                                        (state & GDK_WINDOW_STATE_ICONIFIED) != 0);
}

gboolean CMainWindowProc::OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer self) {
    // The accelerator table: Alt+"?" and Alt+"/" open the About box.
    if ((event->state & GDK_MOD1_MASK) &&
        (event->keyval == GDK_KEY_question || event->keyval == GDK_KEY_slash)) {
        static_cast<CMainWindowProc*>(self)->PostCommand(CMD_ABOUT);
        return TRUE;
    }
    return FALSE;
}

void CMainWindowProc::PostCommand(int commandId) {
    runner::Post([self = Weak(), commandId] {
        if (auto proc = self.lock()) (*proc)->HandleCommand(commandId);
    });
}

bool CMainWindowProc::RequestQuit() {
    if (!m_window) return false;
    HandleCommand(CUSTOM_IDM_TRAY_CONTROL_OPTION_EXIT);
    return true;
}

void CMainWindowProc::BringToFront() {
    if (m_window && g_handler) g_handler->BringWindowToFront(true);
}

void CMainWindowProc::SendToPage(const char* name) {
    auto browser = g_handler ? g_handler->GetBrowser() : nullptr;
    CAppHelper::SendMessageToCEFProcess(browser, engine::ProcessId::Renderer, name);
}

void CMainWindowProc::HandleCommand(int commandId) {
    switch (commandId) {
        case CMD_ABOUT:
            ShowAbout(false);
            return;
        case CUSTOM_IDM_TRAY_CONTROL_OPTION_OPEN_WEB:
            TVC_LOG_WARN("%s : CUSTOM_IDM_TRAY_CONTROL_OPTION_OPEN_WEB", "WndProc");
            if (!g_handler) {
                TVC_LOG_ERROR(
                    "%s : CUSTOM_IDM_TRAY_CONTROL_OPTION_OPEN_WEB : Failed! - g_Handler is NULL",
                    "WndProc");
                return;
            }
            SendToPage(msg::kOnTrayIconOpenBrowser);
            return;
        case CUSTOM_IDM_TRAY_CONTROL_OPTION_EXIT:
            TVC_LOG_WARN("%s : CUSTOM_IDM_TRAY_CONTROL_OPTION_EXIT", "WndProc");
            if (!g_handler) {
                TVC_LOG_ERROR(
                    "%s : CUSTOM_IDM_TRAY_CONTROL_OPTION_EXIT : Failed! - g_Handler is NULL",
                    "WndProc");
                return;
            }
            CAppWindowUtil::PerformUserWindowClose(g_handler->GetMainHwnd());
            return;
        case CUSTOM_IDM_TRAY_CONTROL_OPTION_ABOUT:
            ShowAbout(true);
            return;
        case CMD_NOTIFY_DOWNLOAD_COMPLETE:
        case CMD_NOTIFY_DOWNLOAD_FAILED: {
            if (!g_handler) return;
            std::string text =
                "File \"" + m_updates->LastDownloadPath() + "\" " +
                (commandId == CMD_NOTIFY_DOWNLOAD_COMPLETE ? "downloaded successfully."
                                                           : "failed to download.");
            TVC_LOG_WARN("*[AUTOUPDATER]* %s", text.c_str());
            const auto& updater = m_updates->Controller();
            if (!updater) {
                TVC_LOG_ERROR("*[AUTOUPDATER]* %s - Update Handler Object is NULL", "WndProc");
                return;
            }
            updater->SetDownloadParameters(commandId == CMD_NOTIFY_DOWNLOAD_COMPLETE
                                               ? CAutoUpdateHandler::kDownloadSucceeded
                                               : CAutoUpdateHandler::kDownloadFailed,
                                           m_updates->LastDownloadPath());
            return;
        }
        default:
            TVC_LOG_INFO("%s : unknown command %d", "WndProc", commandId);
    }
}

void CMainWindowProc::ShowAbout(bool fromTray) {
    if (fromTray) {
        TVC_LOG_WARN(
            "%s : CUSTOM_IDM_TRAY_CONTROL_OPTION_ABOUT : with hInst=0x%X, hWnd=0x%X, "
            "g_bTVDAboutWindowShown=%u",
            "WndProc", 1u, m_window ? 1u : 0u, g_bTVDAboutWindowShown ? 1u : 0u);
        if (g_bTVDAboutWindowShown || !m_window) {
            TVC_LOG_WARN(
                "%s : CUSTOM_IDM_TRAY_CONTROL_OPTION_ABOUT Failed! : preconditions not satisfied.",
                "WndProc");
            return;
        }
    }
    // One box at a time, whichever road opened it.
    if (m_aboutOpen || !m_window) return;
    bool opened = platform::gtk::ShowAboutBox(GTK_WINDOW(m_window), [this, fromTray] {
        m_aboutOpen = false;
        if (fromTray) g_bTVDAboutWindowShown = false;  // WM_ABOUT_BOX_CLOSED
    });
    if (!opened) return;
    m_aboutOpen = true;
    if (fromTray) g_bTVDAboutWindowShown = true;
}
}  // namespace tvc::shell

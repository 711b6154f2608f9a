#include "common/ClientHandler/ClientHandler.h"

#include <algorithm>

#include "common/CommandLine.h"
#include "common/LogHelper.h"
#include "common/TaskRunner.h"

namespace tvc {
namespace {
void ReportSwitch(const CCommandLine& commandLine, const char* name) {
    if (commandLine.HasSwitch(name))
        TVC_LOG_WARN("%s : %s switch is enabled.\n", "ClientHandler::ClientHandler", name);
    else
        TVC_LOG_WARN("%s : %s switch is NOT enabled.\n", "ClientHandler::ClientHandler", name);
}
}  // namespace

ClientHandler::ClientHandler(std::shared_ptr<CWindowOperations> windowOps,
                             std::shared_ptr<CUpdateFlow> updates,
                             std::shared_ptr<CPageRecovery> recovery,
                             std::shared_ptr<CBrowserSet> browsers,
                             std::shared_ptr<CInterAppMessaging> messaging)
    : m_windowOps(windowOps ? std::move(windowOps) : std::make_shared<CWindowOperations>()),
      m_updates(updates ? std::move(updates) : std::make_shared<CUpdateFlow>()),
      m_recovery(recovery ? std::move(recovery) : std::make_shared<CPageRecovery>()),
      m_browsers(browsers ? std::move(browsers) : std::make_shared<CBrowserSet>()),
      m_messaging(messaging ? std::move(messaging)
                            : std::make_shared<CInterAppMessaging>(m_windowOps, m_browsers)),
      m_quitRoad(std::make_shared<CQuitRoad>(m_browsers, m_messaging, m_updates)),
      m_downloads(m_updates,
                  [messaging = m_messaging](bool isSuccess) {
                      messaging->HandleWebsocketsConfigFileDownloadProcessCompletion(isSuccess);
                  }),
      m_pFullScreenHandler(std::make_shared<NativeFullScreenHandler>()) {
    auto commandLine = GetGlobalCommandLine();
    if (commandLine->HasSwitch("url")) m_StartupURL = commandLine->GetSwitchValue("url");
    ReportSwitch(*commandLine, "automated-testing");
    ReportSwitch(*commandLine, "show-on-launch");
    m_windowOps->SetShowOnLaunch(commandLine->HasSwitch("show-on-launch"));
    // The splash belongs to the page recovery, which the shell hands its splash object.
    m_popupDomainList.clear();
    m_messaging->SetQuitClient(m_quitRoad);
    AddRoutes();
}

ClientHandler::~ClientHandler() = default;

void ClientHandler::SetMainHwnd(std::shared_ptr<platform::IAppWindow> window) {
    runner::AssertOnMainThread();
    m_windowOps->SetWindow(window);
    m_pFullScreenHandler->SetWindowHandle(std::move(window));
    // However the window is brought up (page, tray, peer), an update check goes with it.
    m_windowOps->SetBroughtToFrontHook([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->TriggerApplicationUpdate();
    });
    // Asked of the components that hold the answers, not of the handler.
    m_recovery->SetHost(
        {.mainBrowser = [browsers = m_browsers] { return browsers->Main(); },
         .quitting = [messaging = m_messaging] { return messaging->IsQuitInProgress(); }});
}

void ClientHandler::OnAfterCreated(engine::BrowserRef browser) {
    static const char* fn = TVC_FN;
    if (!browser) {
        TVC_LOG_ERROR("%s : browser is NULL", fn);
        return;
    }
    if (GetGlobalCommandLine()->HasSwitch("mouse-cursor-change-disabled"))
        browser->GetHost().SetMouseCursorChangeDisabled(true);
    m_browsers->Add(browser);
    if (m_windowOps->ShowsOnLaunch()) {
        TVC_LOG_WARN("%s : show on launch option is enabled.", fn);
        m_windowOps->ShowOnLaunch();
    } else {
        TVC_LOG_WARN("%s : show on launch option is disabled.", fn);
    }
}

bool ClientHandler::DoClose(engine::BrowserRef browser) {
    if (!browser) {
        m_browsers->SetClosing();
        TVC_LOG_WARN("%s browser-null-ref : closing: true\n", TVC_FN);
        return false;
    }
    if (browser->GetIdentifier() != m_browsers->MainId()) return false;
    m_browsers->SetClosing();
    TVC_LOG_WARN("%s closing: true\n", TVC_FN);
    const auto window = GetMainHwnd();
    // The main browser goes with its window: the window is sent its close once more, which is
    // now allowed, saves the placement and takes the browser with it. Posted, so neither a modal
    // dialog's grab nor the engine's callback stands in its way.
    if (window && window->IsValid() && window->PostClose()) return true;
    return false;
}

void ClientHandler::OnBeforeClose(engine::BrowserRef browser) {
    // No plug-ins exist under this engine, so there is no plug-in table to release here.
    m_browsers->Remove(browser);
}

void ClientHandler::DisplaySplashScreen(bool show) {
    TVC_LOG_INFO("%s : %d", TVC_FN, show ? 1 : 0);
    m_recovery->ShowSplash(show);
}

bool ClientHandler::OnDragEnter(engine::BrowserRef, int dragOperationsMask) {
    return (dragOperationsMask & kDragOperationLink) != 0;
}

bool ClientHandler::OnProtocolExecution(engine::BrowserRef, const std::string& url) {
    return url.rfind("spotify:", 0) == 0;
}

void ClientHandler::OnBeforeContextMenu(engine::BrowserRef, const engine::ContextMenuParams& params,
                                        engine::IContextMenuModel& model) {
    if ((params.typeFlags & (engine::CM_TYPEFLAG_PAGE | engine::CM_TYPEFLAG_FRAME)) == 0) return;
    if (model.GetCount() > 0) model.AddSeparator();
    model.AddItem(kMenuIdShowDevTools, "&Show DevTools");
    model.AddItem(kMenuIdCloseDevTools, "Close DevTools");
    model.AddSeparator();
    model.AddItem(kMenuIdInspectElement, "Inspect Element");
}

bool ClientHandler::OnContextMenuCommand(engine::BrowserRef browser,
                                         const engine::ContextMenuParams& params, int commandId) {
    if (commandId != kMenuIdShowDevTools && commandId != kMenuIdCloseDevTools &&
        commandId != kMenuIdInspectElement)
        return false;
    if (!browser) {
        TVC_LOG_ERROR("%s : browser is NULL", TVC_FN);
        return true;
    }
    auto& host = browser->GetHost();
    if (commandId == kMenuIdShowDevTools)
        host.ShowDevTools();
    else if (commandId == kMenuIdCloseDevTools)
        host.CloseDevTools();
    else
        host.InspectElementAt(params.x, params.y);
    return true;
}
}  // namespace tvc

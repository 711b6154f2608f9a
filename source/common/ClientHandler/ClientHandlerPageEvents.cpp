// What the handler does when the page opens a popup, fails a load, loses its web process or logs.
#include <sstream>

#include "common/AppInfo.h"
#include "common/ClientHandler/ClientHandler.h"
#include "common/ConsoleLog.h"
#include "common/LogHelper.h"
#include "common/NativeMessaging/InterAppMessagingManager.h"
#include "common/ProcessMessages.h"
#include "common/TaskRunner.h"

namespace tvc {

bool ClientHandler::OnBeforePopup(engine::BrowserRef, engine::FrameRef,
                                  const std::string& targetUrl) {
    static const char* fn = TVC_FN;
    const std::string domains = GetPopupDomainList();
    if (!domains.empty()) {
        TVC_LOG_WARN("%s. Domain String is %s", fn, domains.c_str());
        // Pieces are read like lines: a leading comma or ",," gives an empty piece, which every
        // address contains; a single trailing comma gives none.
        std::istringstream pieces(domains);
        std::string piece;
        while (std::getline(pieces, piece, ',')) {
            if (targetUrl.find(piece) != std::string::npos) return false;
        }
    }
    OpenUrlExternally(targetUrl);
    return true;
}

void ClientHandler::OnRenderProcessTerminated(engine::BrowserRef browser,
                                              engine::TerminationStatus) {
    static const char* fn = TVC_FN;
    if (!IsMainBrowser(browser)) {
        // A popup shares the page's web process, yet its end is its own: the main page hears of
        // its crash through its own view, and a popup has nothing to reload.
        TVC_LOG_WARN("%s : a popup's web process ended; closing the popup", fn);
        // Once this report is over: the engine is still telling the other views of the same end.
        runner::Post([weak = std::weak_ptr<engine::IBrowser>(browser)] {
            if (auto popup = weak.lock()) popup->GetHost().CloseBrowser(true);
        });
        return;
    }
    m_recovery->OnWebProcessEnded();
    if (IsQuitInProgress()) {
        // Nobody is left to answer: the quit goes on rather than waiting, and nothing reloads.
        TVC_LOG_WARN("%s : the web process ended during the quit", fn);
        if (m_messaging->QuitHandler()->GetQuitState() == eQuitHander_State_Waiting_ForTVDJS)
            CompleteQuitFromPage("the web process's end");
        return;
    }
    bool inProgress = false;
    const bool fetched = m_windowOps->GetIsSystemShutdownInProgress(inProgress);
    if (fetched && inProgress) {
        TVC_LOG_WARN("%s : Detected that the system is shutting down.\n", fn);
        return;
    }
    TVC_LOG_WARN(
        "%s : system shutdown was not detected - bIsSystemShutDownInProgressFetchSucessful=%u, "
        "bIsSystemShutDownInProgress=%u\n",
        fn, fetched ? 1u : 0u, inProgress ? 1u : 0u);
    m_recovery->ReloadAfterCrash(browser, m_StartupURL);
}

void ClientHandler::TellPageAfterCrash(engine::BrowserRef browser) {
    if (!browser || !m_recovery->TakePageCrashed()) return;
    const auto& manager = m_messaging->Manager();
    if (!manager || manager->GetManagerState() != eConnected) return;
    TVC_LOG_WARN("%s : a peer is connected: telling the page that replaced the crashed one",
                 TVC_FN);
    browser->SendProcessMessage(engine::ProcessId::Renderer, {msg::kInterAppConnectionEstablished,
                                                              {manager->GetActiveConnection()}});
}

bool ClientHandler::OnConsoleMessage(engine::BrowserRef, const std::string& message,
                                     const std::string&, int) {
    std::string path;
    {
        // The lock guards the path only; the file is written after it is released.
        if (m_consoleLogPath.empty()) {
            std::string logs;
            if (CAppPaths::GetPath(CAppPaths::eLogsFolder, logs) == CAppPaths::eOk && !logs.empty())
                m_consoleLogPath = logs + kConsoleLogFileName;
        }
        path = m_consoleLogPath;
    }
    if (path.empty()) {
        TVC_LOG_ERROR("Could Not Write Console Logs");
        return false;
    }
    AppendConsoleMessage(path, message);
    return false;
}
}  // namespace tvc

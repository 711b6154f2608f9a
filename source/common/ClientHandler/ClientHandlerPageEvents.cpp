// What the handler does when the page opens a popup, fails a load, loses its web process or logs.
#include <algorithm>
#include <chrono>
#include <sstream>

#include "common/AppInfo.h"
#include "common/ClientHandler/ClientHandler.h"
#include "common/ConsoleLog.h"
#include "common/LogHelper.h"
#include "common/NativeMessaging/InterAppMessagingManager.h"
#include "common/ProcessMessages.h"
#include "common/UrlPolicy.h"

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

void ClientHandler::OnLoadError(engine::BrowserRef browser, engine::FrameRef frame, int errorCode,
                                const std::string& errorText, const std::string& failedUrl) {
    static const char* fn = TVC_FN;
    const bool main = IsMainBrowser(browser);
    if (errorCode == kErrorAborted) {
        if (main) m_loadRecovery.OnLoadFailed(failedUrl, errorCode);
        return;
    }
    if (!frame) {
        TVC_LOG_ERROR("%s : frame is NULL (error %d for %s)", fn, errorCode, failedUrl.c_str());
        return;
    }
    if (errorCode == kErrorUnknownUrlScheme && StartsWith(frame->GetURL(), "spotify:")) return;
    // The address and the text come from the page or the network: escaped, they cannot become
    // markup.
    std::ostringstream html;
    html << "<html><body bgcolor=\"white\"><h2>Failed to load URL " << HtmlEscape(failedUrl)
         << " with error " << HtmlEscape(errorText) << " (" << errorCode << ").</h2></body></html>";
    if (!main) {
        frame->LoadAlternateHtml(html.str(), failedUrl);
        return;
    }
    ShowOwnPage(*frame, html.str(), failedUrl);
    // The page will not come to say it is ready: the splash would hide the error for good.
    if (m_splash && m_splash->IsShown()) {
        DisplaySplashScreen(false);
        m_bSplashHiddenByLoadError = true;
    }
    if (auto next = m_loadRecovery.OnLoadFailed(failedUrl, errorCode)) ScheduleLoadTry(*next);
}

void ClientHandler::OnRenderProcessTerminated(engine::BrowserRef browser,
                                              engine::TerminationStatus) {
    static const char* fn = TVC_FN;
    StopWatchingHungPage();  // the process that did not answer is gone
    if (IsQuitInProgress()) {
        // Nobody is left to answer: the quit goes on rather than waiting, and nothing reloads.
        TVC_LOG_WARN("%s : the web process ended during the quit", fn);
        if (m_messaging->QuitHandler()->GetQuitState() == eQuitHander_State_Waiting_ForTVDJS)
            CompleteQuitFromPage("the web process's end");
        return;
    }
    bool inProgress = false;
    const bool fetched = GetIsSystemShutdownInProgress(inProgress);
    if (fetched && inProgress) {
        TVC_LOG_WARN("%s : Detected that the system is shutting down.\n", fn);
        return;
    }
    TVC_LOG_WARN(
        "%s : system shutdown was not detected - bIsSystemShutDownInProgressFetchSucessful=%u, "
        "bIsSystemShutDownInProgress=%u\n",
        fn, fetched ? 1u : 0u, inProgress ? 1u : 0u);
    if (browser) {
        if (const int lost = browser->TakeUnacknowledgedMessageCount())
            TVC_LOG_ERROR("%s : %d messages sent to the page were lost with its web process", fn,
                          lost);
    }
    m_bPageCrashed = true;
    auto frame = browser ? browser->GetMainFrame() : nullptr;
    if (!frame) {
        TVC_LOG_ERROR("%s : no main frame to reload", fn);
        return;
    }
    // Both sides as lower-cased URIs, so a file:// start page is recognised whatever its case.
    const std::string url = ToLowerAscii(frame->GetURL());
    TVC_LOG_WARN("%s - attempting the load of %s\n", fn, m_StartupURL.c_str());
    // This engine leaves the view empty after its web process ended, so a page that already is the
    // start address is reloaded rather than left blank.
    const bool atStart = StartsWith(url, ToLowerAscii(m_StartupURL));
    if (m_crashGuard.TryAcquireReload()) {
        if (atStart)
            browser->Reload();
        else
            frame->LoadURL(m_StartupURL);
    } else {
        TVC_LOG_ERROR(
            "%s : the web process ended %d times within %lld s; not reloading again for now", fn,
            m_crashGuard.RecentReloads() + 1,
            static_cast<long long>(CCrashReloadGuard::kWindow.count()));
        ShowCrashPage(*frame);
    }
    TVC_LOG_WARN("%s - done with the load", fn);
}

void ClientHandler::TellPageAfterCrash(engine::BrowserRef browser) {
    if (!m_bPageCrashed || !browser) return;
    m_bPageCrashed = false;
    const auto& manager = m_messaging->Manager();
    if (!manager || manager->GetManagerState() != eConnected) return;
    TVC_LOG_WARN("%s : a peer is connected: telling the page that replaced the crashed one",
                 "ClientHandler::TellPageAfterCrash");
    browser->SendProcessMessage(engine::ProcessId::Renderer, {msg::kInterAppConnectionEstablished,
                                                              {manager->GetActiveConnection()}});
}

void ClientHandler::ShowCrashPage(engine::IFrame& frame) {
    // The window would stay empty otherwise: say so, offer a reload, and reload by itself once the
    // crash window allows it again (a refresh of the error page needs no timer of ours).
    const auto wait = std::chrono::ceil<std::chrono::seconds>(m_crashGuard.UntilNextReload());
    const long long seconds = std::max<long long>(1, wait.count());
    const std::string start = HtmlEscape(m_StartupURL);
    std::ostringstream html;
    html << "<html><head><meta http-equiv=\"refresh\" content=\"" << seconds << ";url=" << start
         << "\"></head><body bgcolor=\"white\"><h2>The page stopped working.</h2><p><a href=\""
         << start << "\">Reload</a> (the page reloads by itself in " << seconds
         << " seconds)</p></body></html>";
    TVC_LOG_WARN("%s : showing the load-error page; reloading in %lld s", TVC_FN, seconds);
    ShowOwnPage(frame, html.str(), m_StartupURL);
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

// How the page comes back when it cannot come: a load that failed for want of a network is tried
// again, the reload keys, and a page that stopped answering.
#include <utility>

#include "common/ClientHandler/ClientHandler.h"
#include "common/ClientHandler/ReloadKeys.h"
#include "common/LogHelper.h"

namespace tvc {

void ClientHandler::SetPageNotRespondingDialog(
    std::shared_ptr<platform::IPageNotRespondingDialog> dialog) {
    m_hungPageDialog = std::move(dialog);
}

bool ClientHandler::IsMainBrowser(const engine::BrowserRef& browser) {
    return m_browsers->IsMain(browser);
}

void ClientHandler::ShowOwnPage(engine::IFrame& frame, const std::string& html,
                                const std::string& url) {
    m_loadRecovery.OnErrorPageShown();
    frame.LoadAlternateHtml(html, url);
}

void ClientHandler::ScheduleLoadTry(const CLoadRecovery::Try& next) {
    TVC_LOG_WARN("%s : the network failed; trying again in %lld s or when the network comes up",
                 TVC_FN, static_cast<long long>(next.wait.count()));
    if (!m_mainThreadTimer) return;
    m_mainThreadTimer(next.wait, [weak = weak_from_this(), ticket = next.ticket] {
        if (auto self = weak.lock()) self->LoadAgain(self->m_loadRecovery.TakeDue(ticket), "");
    });
}

void ClientHandler::OnNetworkChanged(bool available) {
    if (!available || !m_loadRecovery.IsRetrying()) return;
    LoadAgain(m_loadRecovery.TakeNow(), " (the network changed)");
}

void ClientHandler::LoadAgain(const std::string& url, const char* why) {
    if (url.empty()) return;
    if (IsQuitInProgress()) return;
    auto browser = GetBrowser();
    auto frame = browser ? browser->GetMainFrame() : nullptr;
    if (!frame) return;
    TVC_LOG_WARN("%s : loading %s again, try %d%s", TVC_FN, url.c_str(), m_loadRecovery.Attempts(),
                 why);
    frame->LoadURL(url);
}

void ClientHandler::OnLoadStart(engine::BrowserRef browser, const std::string& url) {
    if (!IsMainBrowser(browser)) return;
    if (m_loadRecovery.OnLoadStarted(url))
        TVC_LOG_WARN("%s : %s is loaded instead; no more tries of the failed address", TVC_FN,
                     url.c_str());
}

void ClientHandler::OnLoadCommit(engine::BrowserRef browser) {
    SendWindowState(browser);
    if (!IsMainBrowser(browser)) return;
    // What commits comes from the web process: it answers.
    if (m_bPageUnresponsive) StopWatchingHungPage();
    switch (m_loadRecovery.OnLoadCommitted()) {
        case CLoadRecovery::Commit::OwnPage:
            return;
        case CLoadRecovery::Commit::Recovered:
            // The page that failed is back: it shows as at a start, under the splash until ready.
            if (std::exchange(m_bSplashHiddenByLoadError, false)) DisplaySplashScreen(true);
            return;
        case CLoadRecovery::Commit::Other:
            // Another page in its place comes as any navigation does.
            m_bSplashHiddenByLoadError = false;
            return;
    }
}

bool ClientHandler::OnKeyEvent(engine::BrowserRef browser, const engine::KeyEvent& event) {
    const ReloadKind kind = ReloadKindForKey(event);
    if (kind == ReloadKind::None || !browser) return false;
    TVC_LOG_WARN("%s : reload key%s", TVC_FN,
                 kind == ReloadKind::BypassCache ? " (bypassing the cache)" : "");
    // The error page's own content is not what the user wants again: the address that failed is.
    const std::string failed = IsMainBrowser(browser) ? m_loadRecovery.ErrorPageAddress() : "";
    if (!failed.empty()) {
        if (auto frame = browser->GetMainFrame()) frame->LoadURL(failed);
    } else if (kind == ReloadKind::BypassCache) {
        browser->ReloadIgnoreCache();
    } else {
        browser->Reload();
    }
    return true;
}

void ClientHandler::OnResponsivenessChange(engine::BrowserRef browser, bool responsive) {
    if (!IsMainBrowser(browser)) return;
    if (responsive) {
        if (!m_bPageUnresponsive) return;
        TVC_LOG_WARN("%s : the page answers again", TVC_FN);
        StopWatchingHungPage();
        return;
    }
    if (m_bPageUnresponsive) return;
    TVC_LOG_WARN("%s : the page does not answer", TVC_FN);
    m_bPageUnresponsive = true;
    WatchUnresponsivePage();
}

void ClientHandler::WatchUnresponsivePage() {
    if (!m_mainThreadTimer) return;
    m_mainThreadTimer(kUnresponsiveWait, [weak = weak_from_this(), ticket = ++m_hangTicket] {
        auto self = weak.lock();
        if (self && self->m_bPageUnresponsive && ticket == self->m_hangTicket)
            self->OfferHungPageReload();
    });
}

void ClientHandler::OfferHungPageReload() {
    static const char* fn = TVC_FN;
    // A quit has a bound of its own for a page that does not answer.
    if (IsQuitInProgress()) return;
    if (!m_hungPageDialog) return;
    TVC_LOG_WARN("%s : the page has not answered for %lld s; asking the user", fn,
                 static_cast<long long>(kUnresponsiveWait.count()));
    std::weak_ptr<ClientHandler> weak = weak_from_this();
    m_hungPageDialog->Show(
        [weak] {
            auto self = weak.lock();
            auto browser = self ? self->GetBrowser() : nullptr;
            if (!browser) return;
            TVC_LOG_WARN("%s : ending the page's web process", fn);
            // Its end takes the crash road: the start address is loaded again, within its limit.
            browser->TerminateRenderProcess();
        },
        [weak] {
            if (auto self = weak.lock(); self && self->m_bPageUnresponsive)
                self->WatchUnresponsivePage();
        });
}

void ClientHandler::StopWatchingHungPage() {
    m_bPageUnresponsive = false;
    ++m_hangTicket;
    if (m_hungPageDialog) m_hungPageDialog->Close();
}
}  // namespace tvc

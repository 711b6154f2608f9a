#include "common/ClientHandler/PageRecovery.h"

#include <algorithm>
#include <sstream>
#include <utility>

#include "common/ClientHandler/ReloadKeys.h"
#include "common/LogHelper.h"
#include "common/StringUtil.h"
#include "common/TaskRunner.h"
#include "common/UrlPolicy.h"

namespace tvc {

CPageRecovery::CPageRecovery(Timer timer, std::function<Clock::time_point()> now)
    : m_timer(timer ? std::move(timer) : Timer(&runner::PostDelayedDetached)),
      m_crashGuard(now ? std::move(now) : [] { return Clock::now(); }) {}

void CPageRecovery::SetSplashScreen(std::shared_ptr<platform::ISplashScreen> splash) {
    m_splash = std::move(splash);
}

void CPageRecovery::SetPageNotRespondingDialog(
    std::shared_ptr<platform::IPageNotRespondingDialog> dialog) {
    m_hungPageDialog = std::move(dialog);
}

void CPageRecovery::ShowSplash(bool show) {
    if (!m_splash) {
        TVC_LOG_ERROR("%s : no splash screen", TVC_FN);
        return;
    }
    if (show)
        m_splash->ShowSplashScreen(0);
    else
        m_splash->HideSplashScreen();
}

void CPageRecovery::OnLoadError(bool main, engine::FrameRef frame, int errorCode,
                                const std::string& errorText, const std::string& failedUrl) {
    static const char* fn = TVC_FN;
    if (errorCode == engine::kErrorAborted) {
        if (main) m_loadRecovery.OnLoadFailed(failedUrl, errorCode);
        return;
    }
    if (!frame) {
        TVC_LOG_ERROR("%s : frame is NULL (error %d for %s)", fn, errorCode, failedUrl.c_str());
        return;
    }
    if (errorCode == engine::kErrorUnknownUrlScheme && StartsWith(frame->GetURL(), "spotify:"))
        return;
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
        ShowSplash(false);
        m_splashHiddenByLoadError = true;
    }
    if (auto next = m_loadRecovery.OnLoadFailed(failedUrl, errorCode)) ScheduleLoadTry(*next);
}

void CPageRecovery::ShowOwnPage(engine::IFrame& frame, const std::string& html,
                                const std::string& url) {
    m_loadRecovery.OnErrorPageShown();
    frame.LoadAlternateHtml(html, url);
}

void CPageRecovery::ScheduleLoadTry(const CLoadRecovery::Try& next) {
    TVC_LOG_WARN("%s : the network failed; trying again in %lld s or when the network comes up",
                 TVC_FN, static_cast<long long>(next.wait.count()));
    m_timer(next.wait, [weak = weak_from_this(), ticket = next.ticket] {
        if (auto self = weak.lock()) self->LoadAgain(self->m_loadRecovery.TakeDue(ticket), "");
    });
}

void CPageRecovery::OnNetworkChanged(bool available) {
    if (!available || !m_loadRecovery.IsRetrying()) return;
    LoadAgain(m_loadRecovery.TakeNow(), " (the network changed)");
}

void CPageRecovery::LoadAgain(const std::string& url, const char* why) {
    if (url.empty() || Quitting()) return;
    auto browser = MainBrowser();
    auto frame = browser ? browser->GetMainFrame() : nullptr;
    if (!frame) return;
    TVC_LOG_WARN("%s : loading %s again, try %d%s", TVC_FN, url.c_str(), m_loadRecovery.Attempts(),
                 why);
    frame->LoadURL(url);
}

void CPageRecovery::OnLoadStart(const std::string& url) {
    if (m_loadRecovery.OnLoadStarted(url))
        TVC_LOG_WARN("%s : %s is loaded instead; no more tries of the failed address", TVC_FN,
                     url.c_str());
}

void CPageRecovery::OnLoadCommit() {
    // What commits comes from the web process: it answers.
    if (m_pageUnresponsive) StopWatchingHungPage();
    switch (m_loadRecovery.OnLoadCommitted()) {
        case CLoadRecovery::Commit::OwnPage:
            return;
        case CLoadRecovery::Commit::Recovered:
            // The page that failed is back: it shows as at a start, under the splash until ready.
            if (std::exchange(m_splashHiddenByLoadError, false)) ShowSplash(true);
            return;
        case CLoadRecovery::Commit::Other:
            // Another page in its place comes as any navigation does.
            m_splashHiddenByLoadError = false;
            return;
    }
}

bool CPageRecovery::OnKeyEvent(engine::BrowserRef browser, bool main,
                               const engine::KeyEvent& event) {
    const ReloadKind kind = ReloadKindForKey(event);
    if (kind == ReloadKind::None || !browser) return false;
    TVC_LOG_WARN("%s : reload key%s", TVC_FN,
                 kind == ReloadKind::BypassCache ? " (bypassing the cache)" : "");
    // The error page's own content is not what the user wants again: the address that failed is.
    const std::string failed = main ? m_loadRecovery.ErrorPageAddress() : "";
    if (!failed.empty()) {
        if (auto frame = browser->GetMainFrame()) frame->LoadURL(failed);
    } else if (kind == ReloadKind::BypassCache) {
        browser->ReloadIgnoreCache();
    } else {
        browser->Reload();
    }
    return true;
}

void CPageRecovery::OnResponsivenessChange(bool responsive) {
    if (responsive) {
        if (!m_pageUnresponsive) return;
        TVC_LOG_WARN("%s : the page answers again", TVC_FN);
        StopWatchingHungPage();
        return;
    }
    if (m_pageUnresponsive) return;
    TVC_LOG_WARN("%s : the page does not answer", TVC_FN);
    m_pageUnresponsive = true;
    WatchUnresponsivePage();
}

void CPageRecovery::WatchUnresponsivePage() {
    m_timer(kUnresponsiveWait, [weak = weak_from_this(), ticket = ++m_hangTicket] {
        auto self = weak.lock();
        if (self && self->m_pageUnresponsive && ticket == self->m_hangTicket)
            self->OfferHungPageReload();
    });
}

void CPageRecovery::OfferHungPageReload() {
    static const char* fn = TVC_FN;
    if (Quitting() || !m_hungPageDialog) return;
    TVC_LOG_WARN("%s : the page has not answered for %lld s; asking the user", fn,
                 static_cast<long long>(kUnresponsiveWait.count()));
    std::weak_ptr<CPageRecovery> weak = weak_from_this();
    m_hungPageDialog->Show(
        [weak] {
            auto self = weak.lock();
            auto browser = self ? self->MainBrowser() : nullptr;
            if (!browser) return;
            TVC_LOG_WARN("%s : ending the page's web process", fn);
            // Its end takes the crash road: the start address is loaded again, within its limit.
            browser->TerminateRenderProcess();
        },
        [weak] {
            if (auto self = weak.lock(); self && self->m_pageUnresponsive)
                self->WatchUnresponsivePage();
        });
}

void CPageRecovery::StopWatchingHungPage() {
    m_pageUnresponsive = false;
    ++m_hangTicket;
    if (m_hungPageDialog) m_hungPageDialog->Close();
}

void CPageRecovery::ReloadAfterCrash(engine::BrowserRef browser, const std::string& startUrl) {
    static const char* fn = TVC_FN;
    if (browser) {
        if (const int lost = browser->TakeUnacknowledgedMessageCount())
            TVC_LOG_ERROR("%s : %d messages sent to the page were lost with its web process", fn,
                          lost);
    }
    m_pageCrashed = true;
    auto frame = browser ? browser->GetMainFrame() : nullptr;
    if (!frame) {
        TVC_LOG_ERROR("%s : no main frame to reload", fn);
        return;
    }
    // Both sides as lower-cased URIs, so a file:// start page is recognised whatever its case.
    const std::string url = ToLowerAscii(frame->GetURL());
    TVC_LOG_WARN("%s - attempting the load of %s\n", fn, startUrl.c_str());
    // This engine leaves the view empty after its web process ended, so a page that already is the
    // start address is reloaded rather than left blank.
    const bool atStart = StartsWith(url, ToLowerAscii(startUrl));
    if (m_crashGuard.TryAcquireReload()) {
        if (atStart)
            browser->Reload();
        else
            frame->LoadURL(startUrl);
    } else {
        TVC_LOG_ERROR(
            "%s : the web process ended %d times within %lld s; not reloading again for now", fn,
            m_crashGuard.RecentReloads() + 1,
            static_cast<long long>(CCrashReloadGuard::kWindow.count()));
        ShowCrashPage(*frame, startUrl);
    }
    TVC_LOG_WARN("%s - done with the load", fn);
}

void CPageRecovery::ShowCrashPage(engine::IFrame& frame, const std::string& startUrl) {
    // The window would stay empty otherwise: say so, offer a reload, and reload by itself once the
    // crash window allows it again (a refresh of the error page needs no timer of ours).
    const auto wait = std::chrono::ceil<std::chrono::seconds>(m_crashGuard.UntilNextReload());
    const long long seconds = std::max<long long>(1, wait.count());
    const std::string start = HtmlEscape(startUrl);
    std::ostringstream html;
    html << "<html><head><meta http-equiv=\"refresh\" content=\"" << seconds << ";url=" << start
         << "\"></head><body bgcolor=\"white\"><h2>The page stopped working.</h2><p><a href=\""
         << start << "\">Reload</a> (the page reloads by itself in " << seconds
         << " seconds)</p></body></html>";
    TVC_LOG_WARN("%s : showing the load-error page; reloading in %lld s", TVC_FN, seconds);
    ShowOwnPage(frame, html.str(), startUrl);
}
}  // namespace tvc

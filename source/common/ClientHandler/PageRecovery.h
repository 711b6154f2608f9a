// How the main page comes back when it cannot come: the splash over it until it is ready, the
// load-error page and the tries of a load that failed for want of a network, the reload keys, a
// page that stopped answering, and the reload after its web process ended.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "common/ClientHandler/CrashReloadGuard.h"
#include "common/ClientHandler/LoadRecovery.h"
#include "engine/Browser.h"
#include "engine/Client.h"
#include "platform/PageNotResponding.h"
#include "platform/Splash.h"

namespace tvc {
// Main thread only. The shell owns it and wires the splash and the dialog; the client handler
// feeds it the main browser's events.
class CPageRecovery : public std::enable_shared_from_this<CPageRecovery> {
  public:
    using Timer = std::function<void(std::chrono::milliseconds, std::function<void()>)>;
    using Clock = CCrashReloadGuard::Clock;
    // How long the page may not answer before the user is offered to reload it.
    static constexpr std::chrono::seconds kUnresponsiveWait{10};

    // What the recovery acts on: the main browser, and whether a quit is under way (a quit has a
    // bound of its own for a page that does not come, and nothing is loaded again during it).
    struct Host {
        std::function<engine::BrowserRef()> mainBrowser;
        std::function<bool()> quitting;
    };

    // Delayed tasks go to the task runner and the crash limit reads the steady clock unless tests
    // give their own.
    explicit CPageRecovery(Timer timer = {}, std::function<Clock::time_point()> now = {});

    void SetHost(Host host) { m_host = std::move(host); }
    void SetSplashScreen(std::shared_ptr<platform::ISplashScreen> splash);
    void SetPageNotRespondingDialog(std::shared_ptr<platform::IPageNotRespondingDialog> dialog);

    void ShowSplash(bool show);
    // The network came up or changed: a load waiting to be tried again is tried at once.
    void OnNetworkChanged(bool available);

    // The engine's events; `main` says whether they are the main browser's.
    void OnLoadError(bool main, engine::FrameRef frame, int errorCode, const std::string& errorText,
                     const std::string& failedUrl);
    void OnLoadStart(const std::string& url);
    void OnLoadCommit();
    // True when the key reloaded the page.
    bool OnKeyEvent(engine::BrowserRef browser, bool main, const engine::KeyEvent& event);
    void OnResponsivenessChange(bool responsive);
    // The web process ended, whatever comes of it: the one that did not answer is gone.
    void OnWebProcessEnded() { StopWatchingHungPage(); }
    // The start address is loaded again (or reloaded), within the crash limit; past it the window
    // shows a page that offers the reload.
    void ReloadAfterCrash(engine::BrowserRef browser, const std::string& startUrl);
    // True once after a crash, for the page that replaced the crashed one.
    bool TakePageCrashed() { return std::exchange(m_pageCrashed, false); }

  private:
    // Every page of our own takes this road, so its load is not taken for the page's.
    void ShowOwnPage(engine::IFrame& frame, const std::string& html, const std::string& url);
    void ShowCrashPage(engine::IFrame& frame, const std::string& startUrl);
    bool Quitting() const { return m_host.quitting && m_host.quitting(); }
    engine::BrowserRef MainBrowser() const {
        return m_host.mainBrowser ? m_host.mainBrowser() : nullptr;
    }
    // The main frame's address that failed for want of a network, tried again later.
    void ScheduleLoadTry(const CLoadRecovery::Try& next);
    void LoadAgain(const std::string& url, const char* why);
    // The page stopped answering: the user is asked after kUnresponsiveWait.
    void WatchUnresponsivePage();
    void OfferHungPageReload();
    void StopWatchingHungPage();

    Timer m_timer;
    Host m_host;
    std::shared_ptr<platform::ISplashScreen> m_splash;
    std::shared_ptr<platform::IPageNotRespondingDialog> m_hungPageDialog;
    CCrashReloadGuard m_crashGuard;
    CLoadRecovery m_loadRecovery;
    bool m_pageCrashed = false;
    // The load-error page took the splash away; the next page of the site's own brings it back.
    bool m_splashHiddenByLoadError = false;
    bool m_pageUnresponsive = false;
    unsigned m_hangTicket = 0;  // names the current wait; a wait overtaken does nothing
};
}  // namespace tvc

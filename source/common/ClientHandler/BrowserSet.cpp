#include "common/ClientHandler/BrowserSet.h"

#include "common/LogHelper.h"

namespace tvc {
void CBrowserSet::Add(const engine::BrowserRef& browser) {
    if (!browser) return;
    if (!m_Browser) {
        m_Browser = browser;
        m_BrowserId = browser->GetIdentifier();
    } else if (browser->IsPopup()) {
        m_PopupBrowsers.push_back(browser);
    }
    ++m_liveBrowserCount;
}

void CBrowserSet::Remove(const engine::BrowserRef& browser) {
    if (!browser) return;
    std::list<engine::BrowserRef> orphans;
    if (m_Browser && m_Browser->IsSame(*browser)) {
        m_Browser.reset();
        orphans = m_PopupBrowsers;
    } else if (browser->IsPopup()) {
        m_PopupBrowsers.remove_if(
            [&](const engine::BrowserRef& b) { return b && b->IsSame(*browser); });
    }
    // Popups live only as long as the main browser: none of them may keep the program running
    // once the main window has gone.
    for (auto& popup : orphans) {
        TVC_LOG_WARN("%s : closing popup %d with the main browser", TVC_FN, popup->GetIdentifier());
        popup->GetHost().CloseBrowser(true);
    }
}

void CBrowserSet::ReleaseLiveBrowser() {
    static const char* fn = TVC_FN;
    // A close reported twice, or for a browser never counted, must not end the loop early or
    // twice.
    if (m_liveBrowserCount <= 0) {
        TVC_LOG_ERROR("%s : no live browser left to release", fn);
        return;
    }
    if (--m_liveBrowserCount > 0 || m_bQuitLoopCalled) return;
    m_bQuitLoopCalled = true;
    TVC_LOG_WARN("%s : last browser closed, ending the message loop", fn);
    if (m_quitMessageLoop)
        m_quitMessageLoop();
    else
        TVC_LOG_ERROR("%s : no message-loop quit callback", fn);
}

void CBrowserSet::CloseAllBrowsers(bool forceClose) {
    // Copies: the engine may call back into Remove, which changes both, from inside CloseBrowser.
    const std::list<engine::BrowserRef> popups = m_PopupBrowsers;
    const engine::BrowserRef main = m_Browser;
    for (auto& popup : popups)
        if (popup) popup->GetHost().CloseBrowser(forceClose);
    if (main) main->GetHost().CloseBrowser(forceClose);
}
}  // namespace tvc

// The browsers the handler hosts: the main one, its popups and how many are alive. The message
// loop ends once the last of them has closed.
//
// Threads: main thread only.
#pragma once

#include <functional>
#include <list>

#include "engine/Browser.h"

namespace tvc {
class CBrowserSet {
  public:
    // `quitMessageLoop` is called once, when the last live browser has closed.
    explicit CBrowserSet(std::function<void()> quitMessageLoop = {})
        : m_quitMessageLoop(std::move(quitMessageLoop)) {}

    // A browser was created: the first is the main one; popups are kept to close with it. Every
    // browser counts as live until it is released.
    void Add(const engine::BrowserRef& browser);
    // `browser` is about to close: the main one takes its popups with it.
    void Remove(const engine::BrowserRef& browser);
    // Counts a closed browser; ends the loop exactly once when none is left.
    void ReleaseLiveBrowser();
    // Asks every popup, then the main browser, to close.
    void CloseAllBrowsers(bool forceClose);

    const engine::BrowserRef& Main() const { return m_Browser; }
    bool IsMain(const engine::BrowserRef& browser) const {
        return browser && m_Browser && browser->IsSame(*m_Browser);
    }
    // The main browser's identifier, kept once it has gone.
    int MainId() const { return m_BrowserId; }
    int LiveCount() const { return m_liveBrowserCount; }
    // The main browser's close has begun; nothing ends it.
    void SetClosing() { m_bIsClosing = true; }
    bool IsClosing() const { return m_bIsClosing; }

  private:
    const std::function<void()> m_quitMessageLoop;
    engine::BrowserRef m_Browser;
    int m_BrowserId = 0;
    std::list<engine::BrowserRef> m_PopupBrowsers;
    int m_liveBrowserCount = 0;
    bool m_bIsClosing = false;
    bool m_bQuitLoopCalled = false;
};
}  // namespace tvc

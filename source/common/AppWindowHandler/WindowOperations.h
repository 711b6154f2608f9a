// The main window's operations: what the page, the tray, the window procedure and the companion
// extension ask of the window. Owns the window reference, the desktop and the minimum size.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/AppWindow.h"

namespace tvc {
// Main thread only: the window is a GTK window behind IAppWindow.
class CWindowOperations {
  public:
    // The size the page's SetWindowSize is checked against until the page sets its own.
    CWindowOperations(int minimumWidth = 0, int minimumHeight = 0)
        : m_minimumWidth(minimumWidth), m_minimumHeight(minimumHeight) {}
    void SetWindow(std::shared_ptr<platform::IAppWindow> window) { m_window = std::move(window); }
    const std::shared_ptr<platform::IAppWindow>& Window() const { return m_window; }
    void SetDesktop(std::shared_ptr<platform::IDesktop> desktop) { m_desktop = std::move(desktop); }
    const std::shared_ptr<platform::IDesktop>& Desktop() const { return m_desktop; }
    // Runs whenever the window is actually brought up (an update check goes with it).
    void SetBroughtToFrontHook(std::function<void()> hook) { m_broughtToFront = std::move(hook); }
    // Whether the window has the focus and is minimised, as the page was last told.
    void SetActivity(bool active, bool minimized) {
        m_active = active;
        m_minimized = minimized;
    }
    bool IsActive() const { return m_active; }
    bool IsMinimized() const { return m_minimized; }
    // With "show-on-launch" the window is brought to the front once: by ShowOnLaunch, or by the
    // shell before the engine starts (`shownByCaller`), so it reaches the screen first.
    void SetShowOnLaunch(bool enabled) { m_showOnLaunch = enabled; }
    bool ShowsOnLaunch() const { return m_showOnLaunch; }
    void ShowOnLaunch(bool shownByCaller = false);

    void StickWindowOnTop(bool sticky);
    void ShowMaximizedWindow();
    void ShowMinimizedWindow();
    // Unless forced, a visible window that already has the focus is left alone.
    void BringWindowToFront(bool bDontPerformForegroundCheck);
    void OverrideWindowCoordinatesToWithinScreen(int& width, int& height, int& x, int& y);
    void SetWindowSize(int width, int height);
    void SetMinimumWindowSize(int width, int height);
    int MinimumWidth() const { return m_minimumWidth; }
    int MinimumHeight() const { return m_minimumHeight; }
    // Both false (logged) without a window or when nothing can be queued.
    bool SetFocusWindow();
    bool HideApp();
    bool GetIsSystemShutdownInProgress(bool& bIsSystemShutDownInProgress);
    // Hands an http, https, mailto or "spotify:" address to the desktop; refuses and logs the rest.
    bool OpenUrlExternally(const std::string& url);

  private:
    std::shared_ptr<platform::IAppWindow> m_window;
    std::shared_ptr<platform::IDesktop> m_desktop;
    std::function<void()> m_broughtToFront;
    int m_minimumWidth = 0;
    int m_minimumHeight = 0;
    bool m_active = false;
    bool m_minimized = false;
    bool m_showOnLaunch = false;
    bool m_shownOnLaunch = false;
};
}  // namespace tvc

// Window operations the page, the tray, the window procedure and the window observer ask for.
// Main thread: IAppWindow is a GTK window. m_MainHwnd is read once per operation under the lock.
#include <algorithm>

#include "common/ClientHandler/ClientHandler.h"
#include "common/LogHelper.h"
#include "common/ProcessMessages.h"

namespace tvc {
namespace {
std::uint32_t PackMinimumSize(int width, int height) {
    return (static_cast<std::uint32_t>(width & 0xFFFF) << 16) |
           static_cast<std::uint32_t>(height & 0xFFFF);
}

void LogBringToFront(int fromTray) {
    TVC_LOG_WARN(
        "ClientHandler::OnProcessMessageReceived: BringWindowToFrontMessage with "
        "iIsTriggeredFrom_OnTrayIconMenuOpenApplication=%d --",
        fromTray);
}
}  // namespace

void ClientHandler::AddWindowRoutes(CMessageRoutes& routes) {
    routes.Add(
        msg::kSetWindowSize,
        {.act = [this](auto, auto& m) { SetWindowSize(m.args[0].GetInt(), m.args[1].GetInt()); },
         .mismatch = "ClientHandler::OnProcessMessageReceived: SetWindowSizeMessage "
                     "argument mismatch"});
    routes.Add(
        msg::kSetMinimumWindowSize,
        {.act = [this](auto,
                       auto& m) { SetMinimumWindowSize(m.args[0].GetInt(), m.args[1].GetInt()); },
         .mismatch = "ClientHandler::OnProcessMessageReceived: "
                     "SetMinimumWindowSizeMessage argument mismatch"});
    routes.Add(msg::kStickWindowOnTop,
               {.arrival = "ClientHandler::OnProcessMessageReceived: StickWindowOnTopMessage ++",
                .act = [this](auto, auto& m) { StickWindowOnTop(m.args[0].GetBool()); },
                .mismatch = "ClientHandler::OnProcessMessageReceived: StickWindowOnTopMessage "
                            "argument mismatch"});
    // Only logged: the sticky state is not tracked, and nothing is sent back.
    routes.Add(msg::kIsWindowStickyOnTop,
               {.arrival = "ClientHandler::OnProcessMessageReceived: IsWindowStickyOnTopMessage",
                .act = [](auto, auto& m) {
                    if (m.args.size() == 1)
                        TVC_LOG_WARN(
                            "ClientHandler::OnProcessMessageReceived: IsWindowStickyOnTopMessage "
                            "returns success");
                }});
    routes.Add(msg::kMaximizeWindow, {.act = [this](auto, auto&) { ShowMaximizedWindow(); }});
    routes.Add(msg::kMinimizeWindow, {.act = [this](auto, auto&) { ShowMinimizedWindow(); }});
    const auto bring = [this](auto, auto& m) {
        const int fromTray = m.args[0].GetInt();
        BringWindowToFront(fromTray != 0);
        LogBringToFront(fromTray);
    };
    const auto withoutArgument = [](auto, auto&) {
        TVC_LOG_WARN(
            "ClientHandler::OnProcessMessageReceived: BringWindowToFrontMessage without "
            "arguments.");
        LogBringToFront(0);
    };
    routes.Add(msg::kBringWindowToFront, {.act = bring, .otherwise = withoutArgument});
    routes.Add(msg::kHideApp, {.arrival = "ClientHandler::OnProcessMessageReceived HideApp called",
                               .act = [this](auto, auto&) { HideApp(GetMainHwnd()); }});
    // The web view is the main window's only child: focusing the window hands focus to it.
    routes.Add(msg::kSetFocus,
               {.arrival = "ClientHandler::OnProcessMessageReceived SetFocus called",
                .act = [this](auto, auto&) { SetFocusWindow(GetMainHwnd()); }});
}

void ClientHandler::StickWindowOnTop(bool sticky) {
    static const char* fn = TVC_FN;
    TVC_LOG_WARN("called %s", fn);
    auto window = GetMainHwnd();
    if (!window) {
        TVC_LOG_WARN("%s : m_MainHwnd is NULL", fn);
        return;
    }
    if (!window->IsVisible()) {
        TVC_LOG_WARN("%s : Window is not visible", fn);
        return;
    }
    window->SetKeepAbove(sticky);
    window->Show();
}

void ClientHandler::ShowMaximizedWindow() {
    if (auto window = GetMainHwnd())
        window->ShowMaximized();
    else
        TVC_LOG_WARN("%s : m_MainHwnd is NULL", TVC_FN);
}

void ClientHandler::ShowMinimizedWindow() {
    if (auto window = GetMainHwnd())
        window->ShowMinimized();
    else
        TVC_LOG_WARN("%s : m_MainHwnd is NULL", TVC_FN);
}

void ClientHandler::BringWindowToFront(bool bDontPerformForegroundCheck) {
    static const char* fn = TVC_FN;
    auto window = GetMainHwnd();
    TVC_LOG_WARN("%s ++ with bDontPerformForegroundCheck=%u", fn,
                 bDontPerformForegroundCheck ? 1u : 0u);
    TVC_LOG_WARN("%s: wnd=%u\n", fn, window ? 1u : 0u);
    if (!window || !window->IsValid()) {
        TVC_LOG_WARN("%s : m_MainHwnd not valid", fn);
        return;
    }
    if (!bDontPerformForegroundCheck && window->IsForeground() && window->IsVisible()) {
        TVC_LOG_WARN("%s : window already in foreground.", fn);
        return;
    }
    TriggerApplicationUpdate();
    // One step of the platform's: a minimise-and-restore trick would lose a maximised state and
    // leave a window on another workspace where it is.
    window->Present();
}

void ClientHandler::OnMainWindowStateChanged(bool active, bool minimized) {
    const bool activeChanged = active != m_windowActive;
    const bool minimizedChanged = minimized != m_windowMinimized;
    m_windowActive = active;
    m_windowMinimized = minimized;
    auto browser = GetBrowser();
    if (!browser) return;  // the first page load tells it
    if (activeChanged)
        browser->SendProcessMessage(engine::ProcessId::Renderer,
                                    {msg::kIsAppActiveStatus, {m_windowActive}});
    if (minimizedChanged)
        browser->SendProcessMessage(engine::ProcessId::Renderer,
                                    {msg::kIsWindowMiniaturizedStatus, {m_windowMinimized}});
}

void ClientHandler::SendWindowState(engine::BrowserRef browser) {
    if (!browser) return;
    browser->SendProcessMessage(engine::ProcessId::Renderer,
                                {msg::kIsAppActiveStatus, {m_windowActive}});
    browser->SendProcessMessage(engine::ProcessId::Renderer,
                                {msg::kIsWindowMiniaturizedStatus, {m_windowMinimized}});
}

void ClientHandler::OverrideWindowCoordinatesToWithinScreen(int& width, int& height, int& x,
                                                            int& y) {
    static const char* fn = TVC_FN;
    auto desktop = GetDesktop();
    const platform::Rect area = desktop ? desktop->GetMaximizedArea() : platform::Rect{};
    TVC_LOG_WARN("%s : maxWidth=%d, maxHeight=%d", fn, area.width, area.height);
    if (area.width <= 0 || area.height <= 0) {
        TVC_LOG_ERROR("%s : no work area known, size and position left as asked", fn);
        return;
    }
    // The work area need not start at 0,0 (a panel on the left or top): clamp inside it.
    auto clamp = [](int& size, int& pos, int origin, int maxSize) {
        size = std::min(size, maxSize);
        const int passed = pos - origin;
        int rel = std::max(passed, 0);
        if (passed + size > maxSize) rel -= passed + size - maxSize;
        pos = origin + std::max(rel, 0);
    };
    clamp(width, x, area.x, area.width);
    clamp(height, y, area.y, area.height);
}

void ClientHandler::SetWindowSize(int width, int height) {
    static const char* fn = TVC_FN;
    TVC_LOG_WARN("%s ++: m_minimumWindowWidth=%u, m_minimumWindowHeight=%u, width=%u, height=%u",
                 fn, static_cast<unsigned>(m_minimumWindowWidth),
                 static_cast<unsigned>(m_minimumWindowHeight), static_cast<unsigned>(width),
                 static_cast<unsigned>(height));
    auto window = GetMainHwnd();
    if (!window) {
        TVC_LOG_WARN("%s : m_MainHwnd is NULL", fn);
        return;
    }
    if (width < m_minimumWindowWidth || height < m_minimumWindowHeight)
        TVC_LOG_ERROR("incorrect window size params.");
    platform::Rect rect = window->GetRect();
    OverrideWindowCoordinatesToWithinScreen(width, height, rect.x, rect.y);
    TVC_LOG_WARN("%s calling : SetWindowPos() rect.left=%u, rect.top=%u, width=%u, height=%u", fn,
                 static_cast<unsigned>(rect.x), static_cast<unsigned>(rect.y),
                 static_cast<unsigned>(width), static_cast<unsigned>(height));
    window->SetRect({rect.x, rect.y, width, height});
}

void ClientHandler::SetMinimumWindowSize(int width, int height) {
    static const char* fn = TVC_FN;
    auto window = GetMainHwnd();
    if (!window) {
        TVC_LOG_WARN("%s : m_MainHwnd is NULL", fn);
        return;
    }
    window->SetMinimumSizePacked(PackMinimumSize(width, height));
    m_minimumWindowWidth = width;
    m_minimumWindowHeight = height;
    platform::Rect rect = window->GetRect();
    if (rect.width < width || rect.height < height) {
        TVC_LOG_WARN("%s : Adjusting the window dimensions.", fn);
        rect.width = std::max(rect.width, width);
        rect.height = std::max(rect.height, height);
        OverrideWindowCoordinatesToWithinScreen(rect.width, rect.height, rect.x, rect.y);
        window->SetRect(rect);
    } else {
        TVC_LOG_WARN("%s : NOT Adjusting the window dimensions.", fn);
    }
}

bool ClientHandler::SetFocusWindow(const std::shared_ptr<platform::IAppWindow>& window) {
    if (!window || !window->PostFocus()) {
        TVC_LOG_ERROR("%s : Set Focus Failed", TVC_FN);
        return false;
    }
    return true;
}

bool ClientHandler::HideApp(const std::shared_ptr<platform::IAppWindow>& window) {
    // A queued close that is not expected hides the window (the window procedure decides).
    if (!window || !window->PostClose()) {
        TVC_LOG_ERROR("%s : HideApp Failed", TVC_FN);
        return false;
    }
    return true;
}

bool ClientHandler::GetIsSystemShutdownInProgress(bool& bIsSystemShutDownInProgress) {
    static const char* fn = TVC_FN;
    bIsSystemShutDownInProgress = false;
    auto desktop = GetDesktop();
    const bool ok = desktop && desktop->GetIsSystemShutdownInProgress(bIsSystemShutDownInProgress);
    if (!ok) bIsSystemShutDownInProgress = false;
    TVC_LOG_WARN("%s : GetSystemMetrics returned=%d and bRetVal=%u, result=%u", fn,
                 bIsSystemShutDownInProgress ? 1 : 0, ok ? 1u : 0u,
                 bIsSystemShutDownInProgress ? 1u : 0u);
    return ok;
}
}  // namespace tvc

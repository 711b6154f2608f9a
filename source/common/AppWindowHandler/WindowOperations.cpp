// The log lines name the client handler's operations: the handler is where callers reach them.
#include "common/AppWindowHandler/WindowOperations.h"

#include <algorithm>
#include <cstdint>

#include "common/LogHelper.h"
#include "common/UrlPolicy.h"

namespace tvc {
namespace {
std::uint32_t PackMinimumSize(int width, int height) {
    return (static_cast<std::uint32_t>(width & 0xFFFF) << 16) |
           static_cast<std::uint32_t>(height & 0xFFFF);
}
}  // namespace

void CWindowOperations::StickWindowOnTop(bool sticky) {
    static const char* fn = TVC_FN;
    TVC_LOG_WARN("called %s", fn);
    if (!m_window) {
        TVC_LOG_WARN("%s : m_MainHwnd is NULL", fn);
        return;
    }
    if (!m_window->IsVisible()) {
        TVC_LOG_WARN("%s : Window is not visible", fn);
        return;
    }
    m_window->SetKeepAbove(sticky);
    m_window->Show();
}

void CWindowOperations::ShowMaximizedWindow() {
    if (m_window)
        m_window->ShowMaximized();
    else
        TVC_LOG_WARN("%s : m_MainHwnd is NULL", TVC_FN);
}

void CWindowOperations::ShowMinimizedWindow() {
    if (m_window)
        m_window->ShowMinimized();
    else
        TVC_LOG_WARN("%s : m_MainHwnd is NULL", TVC_FN);
}

void CWindowOperations::BringWindowToFront(bool bDontPerformForegroundCheck) {
    static const char* fn = "ClientHandler::BringWindowToFront";
    TVC_LOG_WARN("%s ++ with bDontPerformForegroundCheck=%u", fn,
                 bDontPerformForegroundCheck ? 1u : 0u);
    TVC_LOG_WARN("%s: wnd=%u\n", fn, m_window ? 1u : 0u);
    // Held for the call: the hook may run code that replaces the window.
    const auto window = m_window;
    if (!window || !window->IsValid()) {
        TVC_LOG_WARN("%s : m_MainHwnd not valid", fn);
        return;
    }
    if (!bDontPerformForegroundCheck && window->IsForeground() && window->IsVisible()) {
        TVC_LOG_WARN("%s : window already in foreground.", fn);
        return;
    }
    if (m_broughtToFront) m_broughtToFront();
    // One step of the platform's: a minimise-and-restore trick would lose a maximised state and
    // leave a window on another workspace where it is.
    window->Present();
}

void CWindowOperations::ShowOnLaunch(bool shownByCaller) {
    if (!m_showOnLaunch || m_shownOnLaunch) return;
    m_shownOnLaunch = true;
    if (!shownByCaller) BringWindowToFront(true);
}

void CWindowOperations::OverrideWindowCoordinatesToWithinScreen(int& width, int& height, int& x,
                                                                int& y) {
    static const char* fn = TVC_FN;
    const platform::Rect area = m_desktop ? m_desktop->GetMaximizedArea() : platform::Rect{};
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

void CWindowOperations::SetWindowSize(int width, int height) {
    static const char* fn = TVC_FN;
    TVC_LOG_WARN("%s ++: m_minimumWindowWidth=%u, m_minimumWindowHeight=%u, width=%u, height=%u",
                 fn, static_cast<unsigned>(m_minimumWidth), static_cast<unsigned>(m_minimumHeight),
                 static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (!m_window) {
        TVC_LOG_WARN("%s : m_MainHwnd is NULL", fn);
        return;
    }
    if (width < m_minimumWidth || height < m_minimumHeight)
        TVC_LOG_ERROR("incorrect window size params.");
    platform::Rect rect = m_window->GetRect();
    OverrideWindowCoordinatesToWithinScreen(width, height, rect.x, rect.y);
    TVC_LOG_WARN("%s calling : SetWindowPos() rect.left=%u, rect.top=%u, width=%u, height=%u", fn,
                 static_cast<unsigned>(rect.x), static_cast<unsigned>(rect.y),
                 static_cast<unsigned>(width), static_cast<unsigned>(height));
    m_window->SetRect({rect.x, rect.y, width, height});
}

void CWindowOperations::SetMinimumWindowSize(int width, int height) {
    static const char* fn = "ClientHandler::SetMinimumWindowSize";
    if (!m_window) {
        TVC_LOG_WARN("%s : m_MainHwnd is NULL", fn);
        return;
    }
    m_window->SetMinimumSizePacked(PackMinimumSize(width, height));
    m_minimumWidth = width;
    m_minimumHeight = height;
    platform::Rect rect = m_window->GetRect();
    if (rect.width < width || rect.height < height) {
        TVC_LOG_WARN("%s : Adjusting the window dimensions.", fn);
        rect.width = std::max(rect.width, width);
        rect.height = std::max(rect.height, height);
        OverrideWindowCoordinatesToWithinScreen(rect.width, rect.height, rect.x, rect.y);
        m_window->SetRect(rect);
    } else {
        TVC_LOG_WARN("%s : NOT Adjusting the window dimensions.", fn);
    }
}

bool CWindowOperations::SetFocusWindow() {
    if (!m_window || !m_window->PostFocus()) {
        TVC_LOG_ERROR("%s : Set Focus Failed", TVC_FN);
        return false;
    }
    return true;
}

bool CWindowOperations::HideApp() {
    // A queued close that is not expected hides the window (the window procedure decides).
    if (!m_window || !m_window->PostClose()) {
        TVC_LOG_ERROR("%s : HideApp Failed", TVC_FN);
        return false;
    }
    return true;
}

bool CWindowOperations::GetIsSystemShutdownInProgress(bool& bIsSystemShutDownInProgress) {
    bIsSystemShutDownInProgress = false;
    const bool ok =
        m_desktop && m_desktop->GetIsSystemShutdownInProgress(bIsSystemShutDownInProgress);
    if (!ok) bIsSystemShutDownInProgress = false;
    TVC_LOG_WARN("%s : GetSystemMetrics returned=%d and bRetVal=%u, result=%u", TVC_FN,
                 bIsSystemShutDownInProgress ? 1 : 0, ok ? 1u : 0u,
                 bIsSystemShutDownInProgress ? 1u : 0u);
    return ok;
}

bool CWindowOperations::OpenUrlExternally(const std::string& url) {
    static const char* fn = TVC_FN;
    if (url.empty()) return false;
    if (!IsExternallyOpenableUrl(url)) {
        TVC_LOG_ERROR(
            "%s : refused to open %s: only http, https, mailto and spotify: addresses leave the "
            "program",
            fn, url.c_str());
        return false;
    }
    if (!m_desktop) {
        TVC_LOG_ERROR("%s : no desktop to open %s", fn, url.c_str());
        return false;
    }
    if (!m_desktop->OpenUrlExternally(url)) {
        TVC_LOG_ERROR("%s : the desktop could not open %s", fn, url.c_str());
        return false;
    }
    return true;
}
}  // namespace tvc

#include "common/ClientHandler/NativeFullScreenHandler.h"

#include "common/LogHelper.h"

namespace tvc {
void NativeFullScreenHandler::SetWindowHandle(std::shared_ptr<platform::IAppWindow> window) {
    m_window = std::move(window);
}

void NativeFullScreenHandler::SetFullScreen(bool on) {
    static const char* fn = TVC_FN;
    if (on == m_bFullScreen) return;
    auto window = m_window.lock();
    if (!window) {
        TVC_LOG_ERROR("%s : no window, full screen stays %d", fn, m_bFullScreen ? 1 : 0);
        return;
    }
    if (!m_bFullScreen) {
        // Restore first, so the saved rectangle is the normal one and not the maximised one.
        m_bWasMaximized = window->IsMaximized();
        if (m_bWasMaximized) window->Unmaximize();
        m_savedRect = window->GetRect();
    }
    m_bFullScreen = on;
    if (on) {
        window->SetFullscreen(true);
    } else {
        window->SetFullscreen(false);
        window->SetRect(m_savedRect);
        if (m_bWasMaximized) window->ShowMaximized();
    }
    TVC_LOG_INFO("%s : full screen %d", fn, on ? 1 : 0);
}
}  // namespace tvc

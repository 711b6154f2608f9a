// The main page's events that its recovery decides on.
#include "common/ClientHandler/ClientHandler.h"

namespace tvc {

bool ClientHandler::IsMainBrowser(const engine::BrowserRef& browser) {
    return m_browsers->IsMain(browser);
}

void ClientHandler::OnLoadError(engine::BrowserRef browser, engine::FrameRef frame, int errorCode,
                                const std::string& errorText, const std::string& failedUrl) {
    m_recovery->OnLoadError(IsMainBrowser(browser), std::move(frame), errorCode, errorText,
                            failedUrl);
}

void ClientHandler::OnLoadStart(engine::BrowserRef browser, const std::string& url) {
    if (IsMainBrowser(browser)) m_recovery->OnLoadStart(url);
}

void ClientHandler::OnLoadCommit(engine::BrowserRef browser) {
    SendWindowState(browser);
    if (IsMainBrowser(browser)) m_recovery->OnLoadCommit();
}

bool ClientHandler::OnKeyEvent(engine::BrowserRef browser, const engine::KeyEvent& event) {
    return m_recovery->OnKeyEvent(browser, IsMainBrowser(browser), event);
}

void ClientHandler::OnResponsivenessChange(engine::BrowserRef browser, bool responsive) {
    if (IsMainBrowser(browser)) m_recovery->OnResponsivenessChange(responsive);
}
}  // namespace tvc

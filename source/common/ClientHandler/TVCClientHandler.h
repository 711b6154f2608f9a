// The product's client handler: start address, minimum window size, logging start, the splash on
// the main window, and the two product hooks (message-box events, messaging module failure).
#pragma once

#include "common/ClientHandler/ClientHandler.h"

namespace tvc {
// Main thread, like its base.
class CTVCClientHandler : public ClientHandler {
  public:
    static constexpr int kMinimumWindowWidth = 400;
    static constexpr int kMinimumWindowHeight = 300;
    static constexpr const char* kStartPageFileName = "cef_js_app.html";
    // The message-box event that means "close the application".
    static constexpr int kMessageBoxEventCloseApplication = 2;

    CTVCClientHandler();

    void SetMainHwnd(std::shared_ptr<platform::IAppWindow> window) override;
    void OnAfterCreated(engine::BrowserRef browser) override;
    void OnBeforeClose(engine::BrowserRef browser) override;
    void HandleInterAppMessagingModuleFailure() override;
    // From the port-failure message box (GUIUtils::IMessageBoxEventsListner in the original).
    void HandleMessageBoxEvent(int eventType);

  private:
    std::string m_missingStartPage;  // logged once the log file exists
};
}  // namespace tvc

// The product's client handler: start address, minimum window size, logging start, the splash on
// the main window, and the two product hooks (message-box events, messaging module failure).
#pragma once

#include "common/ClientHandler/ClientHandler.h"
#include "platform/MessageBox.h"

namespace tvc {
// Main thread, like its base, unless a comment says otherwise.
class CTVCClientHandler : public ClientHandler, public GUIUtils::IMessageBoxEventsListner {
  public:
    static constexpr int kMinimumWindowWidth = 400;
    static constexpr int kMinimumWindowHeight = 300;
    static constexpr const char* kStartPageFileName = "cef_js_app.html";
    // The message-box event that means "close the application".
    static constexpr int kMessageBoxEventCloseApplication = 2;
    static constexpr const char* kPortFailureTitle = "Tavisto for Web : ports unavailable/blocked.";
    static constexpr const char* kPortFailureMessage =
        "Your Tavisto for Web cannot access the required port(s) for network communication."
        "                                    "
        "Please ensure that port # 51001 is available and relaunch the application.";

    // The shell's window operations, made with kMinimumWindowWidth/Height; the handler makes them
    // when none are given.
    explicit CTVCClientHandler(std::shared_ptr<CWindowOperations> windowOps = nullptr,
                               std::shared_ptr<CUpdateFlow> updates = nullptr,
                               std::shared_ptr<CPageRecovery> recovery = nullptr,
                               std::shared_ptr<CBrowserSet> browsers = nullptr,
                               std::shared_ptr<CInterAppMessaging> messaging = nullptr);

    void SetMainHwnd(std::shared_ptr<platform::IAppWindow> window) override;
    void OnAfterCreated(engine::BrowserRef browser) override;
    void OnBeforeClose(engine::BrowserRef browser) override;
    // Where the port-failure dialog is shown.
    void SetMessageBoxes(std::shared_ptr<platform::IMessageBoxes> boxes);
    // The port-failure dialog, shown from a task of its own once no listener run is pending; a run
    // that binds a port later takes it down again.
    void HandleInterAppMessagingModuleFailure();
    // From the port-failure dialog: its close quits the application.
    void HandleMessageBoxEvent(int eventType) override;

  private:
    void ShowPortFailureMessageBox();
    void OnListenerAttemptsSettled();
    void OnListening();

    std::shared_ptr<platform::IMessageBoxes> m_messageBoxes;
    bool m_portFailureDeferred = false;  // main thread
    std::string m_missingStartPage;      // logged once the log file exists
};
}  // namespace tvc

// The "bringWindowToFront" command of the companion extension: raises the main window the way the
// page's BringWindowToFront(false) does. Nothing is sent back.
#pragma once

#include <memory>
#include <string>

#include "common/AppWindowHandler/AppWindowUtil.h"
#include "common/NativeMessaging/InterAppMessageObserver.h"
#include "engine/Browser.h"

// Main thread: notifications arrive there and the window is raised there.
class CNativeWindowObserver : public CInterAppMessageBaseObserver {
  public:
    explicit CNativeWindowObserver(tvc::engine::BrowserRef browser);
    ~CNativeWindowObserver() override;

    void SetClientHandler(std::shared_ptr<tvc::IAppWindowClient> handler);

    void OnInterAppMessageRceive(const SInterAppMessage& message) override;
    void OnInterAppMessageDespatch(const std::string& text) override;
    void OnInterAppMessagingListenerExit(bool listenSucceeded) override;

  private:
    const tvc::engine::BrowserRef m_pBrowserRef;
    const std::unique_ptr<tvc::CAppWindowUtil> m_pCAppWindowUtil;
};

// The "bringWindowToFront" command of the companion extension: raises the main window the way the
// page's BringWindowToFront(false) does. Nothing is sent back.
#pragma once

#include <memory>

#include "common/AppWindowHandler/WindowOperations.h"
#include "common/NativeMessaging/InterAppMessageObserver.h"

// Main thread: notifications arrive there and the window is raised there.
class CNativeWindowObserver : public CInterAppMessageBaseObserver {
  public:
    // Not owning: the window's operations belong to whoever owns the window.
    explicit CNativeWindowObserver(std::weak_ptr<tvc::CWindowOperations> window);
    ~CNativeWindowObserver() override;

    void OnInterAppMessageRceive(const SInterAppMessage& message) override;
    void OnInterAppMessagingListenerExit(bool listenSucceeded) override;

  private:
    const std::weak_ptr<tvc::CWindowOperations> m_window;
};

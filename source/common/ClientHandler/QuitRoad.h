// The quit handler's client: each step of the quit road is taken by the component whose state it
// touches (the browsers, the inter-app messaging, the update flow).
//
// Threads: main thread only.
#pragma once

#include <memory>

#include "common/AppQuitHandler/AppQuitHandler.h"

namespace tvc {
class CBrowserSet;
class CInterAppMessaging;
class CUpdateFlow;

class CQuitRoad : public IAppQuitClient {
  public:
    CQuitRoad(std::shared_ptr<CBrowserSet> browsers, std::shared_ptr<CInterAppMessaging> messaging,
              std::shared_ptr<CUpdateFlow> updates);

    engine::BrowserRef GetBrowser() override;
    void UnregisterNativeMessageObservers() override;
    void UnregisterQuitHandlerNativeMessageObserver() override;
    void StopNativeMessagingListener() override;
    // The update controller first, then the messaging's observers and manager.
    void CleanupRefs() override;
    void CloseAllBrowsers(bool forceClose) override;
    void RetryNativeMessagingListener() override;
    void HandleInterAppMessagingModuleFailure() override;
    void FinishWorkInFlight(std::function<void()> done) override;

  private:
    const std::shared_ptr<CBrowserSet> m_browsers;
    const std::shared_ptr<CInterAppMessaging> m_messaging;
    const std::shared_ptr<CUpdateFlow> m_updates;
};
}  // namespace tvc

// Connects the inter-app messaging manager to the page of the main window: forwards messages meant
// for the page, carries out "navigate", and tells the page when a peer connects.
#pragma once

#include <memory>
#include <string>

#include "common/NativeMessaging/InterAppMessageObserver.h"
#include "common/NativeMessaging/InterAppMessagingManager.h"
#include "engine/Browser.h"

// Threads: main thread, like every observer; the page sees messages in their order of arrival.
class CNativeMsgObserver : public CInterAppMessageBaseObserver {
  public:
    // `startUrl`: the one non-web address "navigate" may load. `manager` names the connection a
    // new peer got, so that the page answers that peer.
    CNativeMsgObserver(tvc::engine::BrowserRef browser, std::string startUrl,
                       std::weak_ptr<IInterAppMessagingManager> manager = {});
    ~CNativeMsgObserver() override;

    void OnInterAppMessageRceive(const SInterAppMessage& message) override;
    void OnInterAppMessagingListenerExit(bool listenSucceeded) override;
    void OnInterAppMessagingConnectionEstablished() override;

  private:
    // "navigate" loads http(s) addresses and the start page, nothing else (no file:, no custom
    // schemes).
    bool IsNavigationAllowed(const std::string& url) const;
    void ForwardToPage(const SInterAppMessage& message);
    void HandleNativeCommand(const SInterAppMessage& message);
    void Navigate(const std::string& url);

    const tvc::engine::BrowserRef m_pBrowserRef;
    const std::string m_strStartUrl;
    const std::weak_ptr<IInterAppMessagingManager> m_manager;
};

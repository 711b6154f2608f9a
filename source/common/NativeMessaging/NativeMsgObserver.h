// Connects the inter-app messaging manager to the page of the main window: forwards messages meant
// for the page, carries out "navigate", and tells the page when a peer connects.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "common/NativeMessaging/InterAppMessageObserver.h"
#include "engine/Browser.h"

// Threads: the four notifications run on the WebSocket I/O thread, inside the manager's observer
// lock. They only parse and decide there; every use of the browser is handed to the main thread
// through `postToMainThread`, which must run tasks in the order given, so the page sees messages in
// their order of arrival. The browser reference is dereferenced on the main thread only.
class CNativeMsgObserver : public CInterAppMessageBaseObserver {
  public:
    using Poster = std::function<void(std::function<void()>)>;

    // `startUrl`: the one non-web address "navigate" may load.
    CNativeMsgObserver(tvc::engine::BrowserRef browser, std::string startUrl,
                       Poster postToMainThread);
    ~CNativeMsgObserver() override;

    void OnInterAppMessageRceive(const std::string& text) override;
    void OnInterAppMessageDespatch(const std::string& text) override;
    void OnInterAppMessagingListenerExit(bool listenSucceeded) override;
    void OnInterAppMessagingConnectionEstablished() override;

  private:
    // "navigate" loads http(s) addresses and the start page, nothing else (no file:, no custom
    // schemes).
    bool IsNavigationAllowed(const std::string& url) const;
    void PostToMainThread(std::function<void(CNativeMsgObserver&)> work);
    void ForwardToPage(const std::string& text);
    void Navigate(const std::string& url);
    void NotifyConnectionEstablished();

    const tvc::engine::BrowserRef m_pBrowserRef;
    const std::string m_strStartUrl;
    const Poster m_postToMainThread;
};

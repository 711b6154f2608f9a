// Observers of the inter-app messaging manager.
#pragma once

#include <memory>
#include <string>

#include "common/NativeMessaging/InterAppMessage.h"

// Every notification runs on the main thread (the one that runs the GLib main loop), in the order
// the transport saw the events, so an observer may use the browser and the window directly.
class IInterAppMessageObserver {
  public:
    virtual ~IInterAppMessageObserver() = default;
    // An inbound message, parsed once for all observers.
    virtual void OnInterAppMessageRceive(const SInterAppMessage& message) = 0;
    // The transport's thread ended; true after a requested stop, false after a failure.
    virtual void OnInterAppMessagingListenerExit(bool listenSucceeded) = 0;
    virtual void OnInterAppMessagingConnectionEstablished() = 0;
    // The registry's key; ascending ids are the notification order.
    virtual int GetObserverId() = 0;
};

class CInterAppMessageBaseObserver
    : public IInterAppMessageObserver,
      public std::enable_shared_from_this<CInterAppMessageBaseObserver> {
  public:
    // Takes the next process-wide id: the first observer gets 1, ids are never reused.
    CInterAppMessageBaseObserver();
    ~CInterAppMessageBaseObserver() override = default;

    void OnInterAppMessageRceive(const SInterAppMessage& message) override;
    void OnInterAppMessagingListenerExit(bool listenSucceeded) override;
    void OnInterAppMessagingConnectionEstablished() override;
    int GetObserverId() override { return m_iObserverId; }

  protected:
    // The command of a message for the native module, or null (logged) when there is none to act
    // on: the entry lines every command observer shares.
    static const std::string* ReadNativeCommand(const SInterAppMessage& message, const char* fn);

  private:
    const int m_iObserverId;
};

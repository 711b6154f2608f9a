// Observers of the inter-app messaging manager.
#pragma once

#include <memory>
#include <string>

class IInterAppMessageObserver {
  public:
    virtual ~IInterAppMessageObserver() = default;
    // The complete JSON text of an inbound message. Called on the transport's I/O thread.
    virtual void OnInterAppMessageRceive(const std::string& text) = 0;
    virtual void OnInterAppMessageDespatch(const std::string& text) = 0;
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

    void OnInterAppMessageRceive(const std::string& text) override;
    void OnInterAppMessageDespatch(const std::string& text) override;
    void OnInterAppMessagingListenerExit(bool listenSucceeded) override;
    void OnInterAppMessagingConnectionEstablished() override;
    int GetObserverId() override { return m_iObserverId; }

  private:
    const int m_iObserverId;
};

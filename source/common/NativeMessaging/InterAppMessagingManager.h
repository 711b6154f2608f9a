// The transport-independent half of the inter-app messaging manager: observer registry and state.
#pragma once

#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "common/NativeMessaging/InterAppMessageObserver.h"

enum t_enumInterAppMessageManagerState {
    eIdle = 1,
    eListening = 2,
    eConnected = 3,
    eThreadTerminationPending = 4,
};

class IInterAppMessagingManager {
  public:
    virtual bool Start() = 0;
    virtual bool Stop() = 0;
    // Any thread; the text is copied.
    virtual bool Send(const std::string& text) = 0;
    virtual bool Subscribe(const std::shared_ptr<IInterAppMessageObserver>& observer) = 0;
    virtual bool UnSubscribe(const std::shared_ptr<IInterAppMessageObserver>& observer) = 0;
    virtual t_enumInterAppMessageManagerState GetManagerState() = 0;
    virtual void Cleanup() = 0;
    virtual ~IInterAppMessagingManager() = default;
};

class CInterAppMessagingManagerBase
    : public IInterAppMessagingManager,
      public std::enable_shared_from_this<CInterAppMessagingManagerBase> {
  public:
    CInterAppMessagingManagerBase();
    ~CInterAppMessagingManagerBase() override;

    // UI thread in the product; each waits for a running notification to finish.
    bool Subscribe(const std::shared_ptr<IInterAppMessageObserver>& observer) override;
    bool UnSubscribe(const std::shared_ptr<IInterAppMessageObserver>& observer) override;
    void Cleanup() override;
    // Never waits for a notification: the state has its own lock.
    t_enumInterAppMessageManagerState GetManagerState() override;

  protected:
    void SetManagerState(t_enumInterAppMessageManagerState state);
    // Check and change as one locked step, so Start/Stop cannot interleave with the thread's end.
    bool ChangeManagerStateIf(std::initializer_list<t_enumInterAppMessageManagerState> from,
                              t_enumInterAppMessageManagerState to);
    std::recursive_mutex& StateLock() { return m_stateLock; }

    // Transport's thread. Each holds the observer lock for its whole loop, calling in ascending id.
    void NotifyMessageArrival(const std::string& text);
    void NotifyListenerExit(bool listenSucceeded);
    void NotifyOnConnectionEstablished();

  private:
    // Recursive as the original design has it; no observer may change the registry from a
    // notification.
    std::recursive_mutex m_observerLock;
    std::map<int, std::shared_ptr<IInterAppMessageObserver>> m_observers;
    std::recursive_mutex m_stateLock;
    t_enumInterAppMessageManagerState m_eState = eIdle;
};

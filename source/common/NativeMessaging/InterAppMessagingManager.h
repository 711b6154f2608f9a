// The transport-independent half of the inter-app messaging manager: observer registry and state.
#pragma once

#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/NativeMessaging/InterAppMessageObserver.h"

enum t_enumInterAppMessageManagerState {
    eIdle = 1,
    eListening = 2,
    eConnected = 3,
    eThreadTerminationPending = 4,
};

// Threads: main thread only, the registry, the state, the notifications and the sends alike.
class IInterAppMessagingManager {
  public:
    virtual bool Start() = 0;
    virtual bool Stop() = 0;
    // The text is copied. It is for the active connection as the main thread last heard of it.
    virtual bool Send(const std::string& text) = 0;
    // For the peer of `connection` (the id its messages came with); never delivered to another
    // peer that has taken its place.
    virtual bool SendToConnection(int connection, const std::string& text) { return Send(text); }
    // Main thread: the connection whose messages and notices the observers hear now; 0 before any.
    virtual int GetActiveConnection() { return 0; }
    virtual bool Subscribe(const std::shared_ptr<IInterAppMessageObserver>& observer) = 0;
    virtual bool UnSubscribe(const std::shared_ptr<IInterAppMessageObserver>& observer) = 0;
    virtual t_enumInterAppMessageManagerState GetManagerState() = 0;
    virtual void Cleanup() = 0;
    // The ports the next listening run tries, in order. A transport without ports ignores them.
    virtual bool Set_Trial_PortList(const std::vector<unsigned>&) { return false; }
    // The port listened on; false unless listening or connected (and always without ports).
    virtual bool GetActivePort(unsigned& port) {
        port = 0;
        return false;
    }
    virtual ~IInterAppMessagingManager() = default;
};

// The registry and the notifications are main-thread only and need no lock. An observer may
// change the registry from inside a notification: the loop finds its next observer by id.
class CInterAppMessagingManagerBase
    : public IInterAppMessagingManager,
      public std::enable_shared_from_this<CInterAppMessagingManagerBase> {
  public:
    CInterAppMessagingManagerBase();
    ~CInterAppMessagingManagerBase() override;

    bool Subscribe(const std::shared_ptr<IInterAppMessageObserver>& observer) override;
    bool UnSubscribe(const std::shared_ptr<IInterAppMessageObserver>& observer) override;
    void Cleanup() override;
    t_enumInterAppMessageManagerState GetManagerState() override;

  protected:
    void SetManagerState(t_enumInterAppMessageManagerState state);
    bool ChangeManagerStateIf(std::initializer_list<t_enumInterAppMessageManagerState> from,
                              t_enumInterAppMessageManagerState to);

    // Each calls the observers in ascending id. The text is parsed once for all of them.
    void NotifyMessageArrival(const std::string& text);
    void NotifyMessageArrival(const SInterAppMessage& message);
    void NotifyListenerExit(bool listenSucceeded);
    void NotifyOnConnectionEstablished();

  private:
    std::map<int, std::shared_ptr<IInterAppMessageObserver>> m_observers;
    t_enumInterAppMessageManagerState m_eState = eIdle;
};

#include "common/NativeMessaging/InterAppMessagingManager.h"

#include "common/LogHelper.h"
#include "common/PeerErrorGate.h"

CInterAppMessagingManagerBase::CInterAppMessagingManagerBase() {
    static const char* fn = TVC_FN;
    TVC_LOG_WARN("%s CTOR ++ \n", fn);
    TVC_LOG_WARN("%s : size : %u \n", fn, static_cast<unsigned>(m_observers.size()));
    TVC_LOG_WARN("%s CTOR -- \n", fn);
}

CInterAppMessagingManagerBase::~CInterAppMessagingManagerBase() {
    static const char* fn = TVC_FN;
    TVC_LOG_WARN("%s DTOR ++ \n", fn);
    Cleanup();
    TVC_LOG_WARN("%s : size : %u \n", fn, static_cast<unsigned>(m_observers.size()));
    TVC_LOG_WARN("%s DTOR -- \n", fn);
}

bool CInterAppMessagingManagerBase::Subscribe(
    const std::shared_ptr<IInterAppMessageObserver>& observer) {
    if (!observer) return false;
    const int id = observer->GetObserverId();
    m_observers.emplace(id, observer);  // an id already present keeps its first observer
    TVC_LOG_WARN("%s added : id : %d : total :  %lu\n", TVC_FN, id,
                 static_cast<unsigned long>(m_observers.size()));
    return true;
}

bool CInterAppMessagingManagerBase::UnSubscribe(
    const std::shared_ptr<IInterAppMessageObserver>& observer) {
    if (!observer) return true;
    const int id = observer->GetObserverId();
    if (m_observers.erase(id) > 0) {
        TVC_LOG_WARN("%s removed : id : %d : total :  %lu\n", TVC_FN, id,
                     static_cast<unsigned long>(m_observers.size()));
    }
    return true;
}

void CInterAppMessagingManagerBase::Cleanup() {
    static const char* fn = TVC_FN;
    TVC_LOG_WARN(
        "%s: clearing the callback collection - unsafe if iterating and dispatching callbacks to "
        "one of "
        "them -BEFORE \n",
        fn);
    m_observers.clear();
    TVC_LOG_WARN(
        "%s: clearing the callback collection - unsafe if iterating and dispatching callbacks to "
        "one of "
        "them -AFTER\n",
        fn);
}

t_enumInterAppMessageManagerState CInterAppMessagingManagerBase::GetManagerState() {
    return m_eState;
}

void CInterAppMessagingManagerBase::SetManagerState(t_enumInterAppMessageManagerState state) {
    static const char* fn = TVC_FN;
    TVC_LOG_WARN("%s ++", fn);
    m_eState = state;
    TVC_LOG_WARN("%s : %u --", fn, static_cast<unsigned>(state));
}

bool CInterAppMessagingManagerBase::ChangeManagerStateIf(
    std::initializer_list<t_enumInterAppMessageManagerState> from,
    t_enumInterAppMessageManagerState to) {
    for (auto state : from) {
        if (m_eState == state) {
            SetManagerState(to);
            return true;
        }
    }
    return false;
}

void CInterAppMessagingManagerBase::NotifyMessageArrival(const std::string& text) {
    const CPeerInputLogScope peerInput;
    NotifyMessageArrival(ParseInterAppMessage(text));
}

void CInterAppMessagingManagerBase::NotifyMessageArrival(const SInterAppMessage& message) {
    static const char* fn = TVC_FN;
    for (auto it = m_observers.begin(); it != m_observers.end();) {
        const int id = it->first;
        TVC_LOG_WARN("%s : looping", fn);
        std::shared_ptr<IInterAppMessageObserver> observer = it->second;  // alive for the call
        if (!observer) {
            TVC_LOG_ERROR("%s : pCallback=NULL", fn);
        } else {
            TVC_LOG_WARN("%s : OnNativeMessageRceive id=%u", fn, static_cast<unsigned>(id));
            observer->OnInterAppMessageRceive(message);
        }
        it = m_observers.upper_bound(id);  // the observer may have changed the registry
    }
}

void CInterAppMessagingManagerBase::NotifyListenerExit(bool listenSucceeded) {
    static const char* fn = TVC_FN;
    // Neither is a fault: at a quit every observer has gone before the listener ends.
    if (m_observers.empty()) {
        TVC_LOG_INFO("%s : Observer list is empty.", fn);
    } else {
        TVC_LOG_INFO("%s : Observer list is non-empty = %u", fn,
                     static_cast<unsigned>(m_observers.size()));
    }
    for (auto it = m_observers.begin(); it != m_observers.end();) {
        const int id = it->first;
        TVC_LOG_WARN("%s : looping ---", fn);
        std::shared_ptr<IInterAppMessageObserver> observer = it->second;
        if (!observer) {
            TVC_LOG_ERROR("%s : pCallback = NULL", fn);
        } else {
            TVC_LOG_WARN("%s : OnInterAppMessagingListenerExit id=%u", fn,
                         static_cast<unsigned>(id));
            observer->OnInterAppMessagingListenerExit(listenSucceeded);
        }
        it = m_observers.upper_bound(id);
    }
}

void CInterAppMessagingManagerBase::NotifyOnConnectionEstablished() {
    for (auto it = m_observers.begin(); it != m_observers.end();) {
        const int id = it->first;
        std::shared_ptr<IInterAppMessageObserver> observer = it->second;
        if (observer) observer->OnInterAppMessagingConnectionEstablished();
        it = m_observers.upper_bound(id);
    }
}

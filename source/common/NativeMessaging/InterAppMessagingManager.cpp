#include "common/NativeMessaging/InterAppMessagingManager.h"

#include "common/LogHelper.h"

CInterAppMessagingManagerBase::CInterAppMessagingManagerBase() {
    static const char* fn = "CInterAppMessagingManagerBase::CInterAppMessagingManagerBase";
    TVC_LOG_WARN("%s CTOR ++ \n", fn);
    TVC_LOG_WARN("%s : size : %u \n", fn, static_cast<unsigned>(m_observers.size()));
    TVC_LOG_WARN("%s CTOR -- \n", fn);
}

CInterAppMessagingManagerBase::~CInterAppMessagingManagerBase() {
    static const char* fn = "CInterAppMessagingManagerBase::~CInterAppMessagingManagerBase";
    TVC_LOG_WARN("%s DTOR ++ \n", fn);
    Cleanup();
    TVC_LOG_WARN("%s : size : %u \n", fn, static_cast<unsigned>(m_observers.size()));
    TVC_LOG_WARN("%s DTOR -- \n", fn);
}

bool CInterAppMessagingManagerBase::Subscribe(
    const std::shared_ptr<IInterAppMessageObserver>& observer) {
    if (!observer) return false;
    std::lock_guard<std::recursive_mutex> lock(m_observerLock);
    const int id = observer->GetObserverId();
    m_observers.emplace(id, observer);  // an id already present keeps its first observer
    TVC_LOG_WARN("%s added : id : %d : total :  %lu\n", "CInterAppMessagingManagerBase::Subscribe",
                 id, static_cast<unsigned long>(m_observers.size()));
    return true;
}

bool CInterAppMessagingManagerBase::UnSubscribe(
    const std::shared_ptr<IInterAppMessageObserver>& observer) {
    if (!observer) return true;
    std::lock_guard<std::recursive_mutex> lock(m_observerLock);
    const int id = observer->GetObserverId();
    if (m_observers.erase(id) > 0) {
        TVC_LOG_WARN("%s removed : id : %d : total :  %lu\n",
                     "CInterAppMessagingManagerBase::UnSubscribe", id,
                     static_cast<unsigned long>(m_observers.size()));
    }
    return true;
}

void CInterAppMessagingManagerBase::Cleanup() {
    static const char* fn = "CInterAppMessagingManagerBase::Cleanup";
    TVC_LOG_WARN(
        "%s: clearing the callback collection - unsafe if iterating and dispatching callbacks to "
        "one of "
        "them -BEFORE \n",
        fn);
    {
        std::lock_guard<std::recursive_mutex> lock(m_observerLock);
        m_observers.clear();
    }
    TVC_LOG_WARN(
        "%s: clearing the callback collection - unsafe if iterating and dispatching callbacks to "
        "one of "
        "them -AFTER\n",
        fn);
}

t_enumInterAppMessageManagerState CInterAppMessagingManagerBase::GetManagerState() {
    std::lock_guard<std::recursive_mutex> lock(m_stateLock);
    return m_eState;
}

void CInterAppMessagingManagerBase::SetManagerState(t_enumInterAppMessageManagerState state) {
    static const char* fn = "CInterAppMessagingManagerBase::SetManagerState";
    TVC_LOG_WARN("%s ++", fn);
    {
        std::lock_guard<std::recursive_mutex> lock(m_stateLock);
        m_eState = state;
    }
    TVC_LOG_WARN("%s : %u --", fn, static_cast<unsigned>(state));
}

bool CInterAppMessagingManagerBase::ChangeManagerStateIf(
    std::initializer_list<t_enumInterAppMessageManagerState> from,
    t_enumInterAppMessageManagerState to) {
    std::lock_guard<std::recursive_mutex> lock(m_stateLock);
    for (auto state : from) {
        if (m_eState == state) {
            SetManagerState(to);
            return true;
        }
    }
    return false;
}

void CInterAppMessagingManagerBase::NotifyMessageArrival(const std::string& text) {
    static const char* fn = "CInterAppMessagingManagerBase::NotifyMessageArrival";
    std::lock_guard<std::recursive_mutex> lock(m_observerLock);
    for (const auto& [id, entry] : m_observers) {
        TVC_LOG_WARN("%s : looping", fn);
        std::shared_ptr<IInterAppMessageObserver> observer = entry;  // alive for the whole call
        if (!observer) {
            TVC_LOG_ERROR("%s : pCallback=NULL", fn);
            continue;
        }
        TVC_LOG_WARN("%s : OnNativeMessageRceive id=%u", fn, static_cast<unsigned>(id));
        observer->OnInterAppMessageRceive(text);
    }
}

void CInterAppMessagingManagerBase::NotifyListenerExit(bool listenSucceeded) {
    static const char* fn = "CInterAppMessagingManagerBase::NotifyListenerExit";
    std::lock_guard<std::recursive_mutex> lock(m_observerLock);
    if (m_observers.empty()) {
        TVC_LOG_ERROR("%s : Observer list is empty.", fn);
    } else {
        TVC_LOG_ERROR("%s : Observer list is non-empty = %u", fn,
                      static_cast<unsigned>(m_observers.size()));
    }
    for (const auto& [id, entry] : m_observers) {
        TVC_LOG_WARN("%s : looping ---", fn);
        std::shared_ptr<IInterAppMessageObserver> observer = entry;
        if (!observer) {
            TVC_LOG_ERROR("%s : pCallback = NULL", fn);
            continue;
        }
        TVC_LOG_WARN("%s : OnInterAppMessagingListenerExit id=%u", fn, static_cast<unsigned>(id));
        observer->OnInterAppMessagingListenerExit(listenSucceeded);
    }
}

void CInterAppMessagingManagerBase::NotifyOnConnectionEstablished() {
    std::lock_guard<std::recursive_mutex> lock(m_observerLock);
    for (const auto& [id, entry] : m_observers) {
        std::shared_ptr<IInterAppMessageObserver> observer = entry;
        if (observer) observer->OnInterAppMessagingConnectionEstablished();
    }
}

#include "common/NativeMessaging/InterAppMessageObserver.h"

#include <atomic>

#include "common/LogHelper.h"

namespace {
// Atomic although observers are made on one thread: tests create them from several.
std::atomic<int> s_iObserverIdCounter{0};

void LogNotImplemented(const char* fn) {
    TVC_LOG_WARN("%s ++ : Not Implemented.", fn);
    TVC_LOG_WARN("%s -- : Not Implemented.", fn);
}
}  // namespace

CInterAppMessageBaseObserver::CInterAppMessageBaseObserver()
    : m_iObserverId(++s_iObserverIdCounter) {}

void CInterAppMessageBaseObserver::OnInterAppMessageRceive(const SInterAppMessage&) {
    LogNotImplemented(TVC_FN);
}

void CInterAppMessageBaseObserver::OnInterAppMessageDespatch(const std::string&) {
    LogNotImplemented(TVC_FN);
}

void CInterAppMessageBaseObserver::OnInterAppMessagingListenerExit(bool) {
    LogNotImplemented(TVC_FN);
}

void CInterAppMessageBaseObserver::OnInterAppMessagingConnectionEstablished() {
    LogNotImplemented(TVC_FN);
}

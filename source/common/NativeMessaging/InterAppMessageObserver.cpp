#include "common/NativeMessaging/InterAppMessageObserver.h"

#include "common/LogHelper.h"

namespace {
// Observers are made on the main thread.
int s_iObserverIdCounter = 0;

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

void CInterAppMessageBaseObserver::OnInterAppMessagingListenerExit(bool) {
    LogNotImplemented(TVC_FN);
}

void CInterAppMessageBaseObserver::OnInterAppMessagingConnectionEstablished() {
    LogNotImplemented(TVC_FN);
}

const std::string* CInterAppMessageBaseObserver::ReadNativeCommand(const SInterAppMessage& message,
                                                                   const char* fn) {
    if (!message.IsTargetRead()) {
        TVC_LOG_ERROR("%s Engaging IsMessageTargetedToNativeModule - Api Failed.\n", fn);
        return nullptr;
    }
    if (!message.IsNative()) return nullptr;
    TVC_LOG_WARN("%s : processing message.\n", fn);
    if (!message.bHasSubType) {
        TVC_LOG_ERROR("%s Error parsing command name.", fn);
        return nullptr;
    }
    return &message.subType;
}

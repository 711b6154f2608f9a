#include "common/AppWindowHandler/NativeWindowObserver.h"

#include "common/LogHelper.h"

CNativeWindowObserver::CNativeWindowObserver(std::weak_ptr<tvc::CWindowOperations> window)
    : m_window(std::move(window)) {
    TVC_LOG_WARN("%s CTOR ++ \n", TVC_FN);
    TVC_LOG_WARN("%s CTOR -- \n", TVC_FN);
}

CNativeWindowObserver::~CNativeWindowObserver() {
    TVC_LOG_WARN("CNativeWindowObserver::CNativeWindowObserver DTOR ++ \n");
    TVC_LOG_WARN("CNativeWindowObserver::CNativeWindowObserver DTOR -- \n");
}

// Messages are logged by size: a "setCookies" request passes here too, and its values stay out of
// the log.
void CNativeWindowObserver::OnInterAppMessageRceive(const SInterAppMessage& message) {
    static const char* fn = TVC_FN;
    TVC_LOG_INFO("%s ++ json: (%zu bytes)\n", fn, message.text.size());
    if (const std::string* command = ReadNativeCommand(message, fn)) {
        if (*command != "bringWindowToFront") {
            TVC_LOG_ERROR("%s Unknown command : messageCommand=%s", fn,
                          CLogHelper::Excerpt(*command, 128).c_str());
        } else {
            TVC_LOG_WARN("%s BringWindowToFront request from extension\n", fn);
            if (auto window = m_window.lock()) {
                window->BringWindowToFront(false);
                TVC_LOG_WARN("%s: BringWindowToFront success\n", fn);
            } else {
                TVC_LOG_ERROR("%s: BringWindowToFront failed, g_handler not valid", fn);
            }
            TVC_LOG_WARN("%s: BringWindowToFront completed", fn);
        }
    }
    TVC_LOG_INFO("%s -- json: (%zu bytes)\n", fn, message.text.size());
}

void CNativeWindowObserver::OnInterAppMessagingListenerExit(bool) {
    TVC_LOG_WARN("%s %s ++ --", __FILE__, TVC_FN);
}

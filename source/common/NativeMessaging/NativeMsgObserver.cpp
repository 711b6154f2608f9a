#include "common/NativeMessaging/NativeMsgObserver.h"

#include "common/LogHelper.h"
#include "common/ProcessMessages.h"
#include "common/UrlPolicy.h"

CNativeMsgObserver::CNativeMsgObserver(tvc::engine::BrowserRef browser, std::string startUrl,
                                       std::weak_ptr<IInterAppMessagingManager> manager)
    : m_pBrowserRef(std::move(browser)),
      m_strStartUrl(std::move(startUrl)),
      m_manager(std::move(manager)) {
    TVC_LOG_WARN("CNativeMsgObserver:: CTOR ++ \n");
    TVC_LOG_WARN("CNativeMsgObserver:: CTOR -- \n");
}

CNativeMsgObserver::~CNativeMsgObserver() {
    TVC_LOG_WARN("CNativeMsgObserver:: DTOR ++ \n");
    TVC_LOG_WARN("CNativeMsgObserver:: DTOR -- \n");
}

bool CNativeMsgObserver::IsNavigationAllowed(const std::string& url) const {
    if (tvc::IsWebUrl(url)) return true;
    if (m_strStartUrl.empty()) return false;
    const std::string lowered = tvc::ToLowerAscii(url);
    const std::string start = tvc::ToLowerAscii(m_strStartUrl);
    if (lowered == start) return true;
    return tvc::StartsWith(lowered, start) &&
           (lowered[start.size()] == '?' || lowered[start.size()] == '#');
}

namespace {
// A "setCookies" request, whatever its target, carries cookie values: only its size is logged.
std::string Loggable(const SInterAppMessage& message) {
    if (message.bHasSubType && message.subType == "setCookies")
        return "(setCookies, " + std::to_string(message.text.size()) + " bytes)";
    return CLogHelper::MessageExcerpt(message.text);
}
}  // namespace

void CNativeMsgObserver::OnInterAppMessageRceive(const SInterAppMessage& message) {
    TVC_LOG_WARN("%s ++ json: %s\n", TVC_FN, Loggable(message).c_str());
    if (!message.IsTargetRead()) {
        TVC_LOG_ERROR(
            "%s Engaging IsMessageTargetedToNativeModule "
            "- Api "
            "Failed.\n",
            TVC_FN);
    } else if (!message.IsNative()) {
        TVC_LOG_WARN("%s : forwarding the message.\n", TVC_FN);
        ForwardToPage(message);
    } else {
        TVC_LOG_WARN("%s : processing message.\n", TVC_FN);
        HandleNativeCommand(message);
    }
    TVC_LOG_INFO("%s -- json: %s\n", TVC_FN, Loggable(message).c_str());
}

void CNativeMsgObserver::HandleNativeCommand(const SInterAppMessage& message) {
    std::string url;
    if (!message.bHasSubType) {
        TVC_LOG_ERROR("CNativeMsgObserver::OnInterAppMessageRceive Error parsing command name.");
    } else if (message.subType != "navigate") {
        TVC_LOG_ERROR(
            "CNativeMsgObserver::OnInterAppMessageRceive Unknown command : messageCommand=%s "
            "!!!!!!!",
            message.subType.c_str());
    } else if (!message.Query("message.payload.url", url)) {
        TVC_LOG_ERROR("CNativeMsgObserver::OnInterAppMessageRceive URL Parse error!!!!!!!");
    } else if (!IsNavigationAllowed(url)) {
        TVC_LOG_ERROR("%s navigate refused for %s", TVC_FN, url.c_str());
    } else {
        Navigate(url);
    }
}

void CNativeMsgObserver::ForwardToPage(const SInterAppMessage& inbound) {
    if (!m_pBrowserRef) return;
    // The text counts as waiting for the page until its web process has taken it. The page
    // answers the connection it came on.
    tvc::engine::ProcessMessage message{tvc::msg::kNativeMessageCommandReceived,
                                        {inbound.text, inbound.connection},
                                        inbound.backlogHold};
    if (m_pBrowserRef->SendProcessMessage(tvc::engine::ProcessId::Renderer, message))
        TVC_LOG_WARN(
            "CNativeMsgObserver::OnInterAppMessageRceive : SendProcessMessage is sucess. \n");
    else
        TVC_LOG_ERROR(
            "CNativeMsgObserver::OnInterAppMessageRceive SendProcessMessage : %s send-failure\n",
            message.name.c_str());
}

void CNativeMsgObserver::Navigate(const std::string& url) {
    auto frame = m_pBrowserRef ? m_pBrowserRef->GetMainFrame() : nullptr;
    if (!frame) {
        TVC_LOG_ERROR("%s : no main frame to load %s", TVC_FN, url.c_str());
        return;
    }
    frame->LoadURL(url);
}

void CNativeMsgObserver::OnInterAppMessagingListenerExit(bool) {
    TVC_LOG_WARN("%s %s ++ --", __FILE__, TVC_FN);
}

void CNativeMsgObserver::OnInterAppMessagingConnectionEstablished() {
    if (!m_pBrowserRef) {
        TVC_LOG_ERROR(
            "%s : m_pBrowserRef is "
            "NULL!!\n",
            TVC_FN);
        return;
    }
    const auto manager = m_manager.lock();
    tvc::engine::ProcessMessage message{tvc::msg::kInterAppConnectionEstablished,
                                        {manager ? manager->GetActiveConnection() : 0}};
    if (m_pBrowserRef->SendProcessMessage(tvc::engine::ProcessId::Renderer, message))
        TVC_LOG_WARN(
            "%s : SendProcessMessage is "
            "sucess. \n",
            TVC_FN);
    else
        TVC_LOG_ERROR(
            "%s SendProcessMessage : %s "
            "send-failure\n",
            TVC_FN, message.name.c_str());
}

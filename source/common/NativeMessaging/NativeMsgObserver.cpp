#include "common/NativeMessaging/NativeMsgObserver.h"

#include "common/ClientHandler/UrlPolicy.h"
#include "common/JSONHelper.h"
#include "common/LogHelper.h"
#include "common/ProcessMessages.h"

CNativeMsgObserver::CNativeMsgObserver(tvc::engine::BrowserRef browser, std::string startUrl,
                                       Poster postToMainThread)
    : m_pBrowserRef(std::move(browser)),
      m_strStartUrl(std::move(startUrl)),
      m_postToMainThread(std::move(postToMainThread)) {
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

void CNativeMsgObserver::PostToMainThread(std::function<void(CNativeMsgObserver&)> work) {
    if (!m_postToMainThread) {
        TVC_LOG_ERROR(
            "CNativeMsgObserver::PostToMainThread : no main-thread poster, dropping the work\n");
        return;
    }
    // Weak: an observer released before the task runs (quit) makes the task a no-op.
    std::weak_ptr<CInterAppMessageBaseObserver> weak = weak_from_this();
    m_postToMainThread([weak, work = std::move(work)] {
        if (auto self = weak.lock()) work(static_cast<CNativeMsgObserver&>(*self));
    });
}

void CNativeMsgObserver::OnInterAppMessageRceive(const std::string& text) {
    TVC_LOG_WARN("CNativeMsgObserver::OnInterAppMessageRceive ++ json: %s\n",
                 CLogHelper::Excerpt(text).c_str());
    bool isNative = false;
    if (!IsMessageTargetedToNativeModule(text, isNative)) {
        TVC_LOG_ERROR(
            "CNativeMsgObserver::OnInterAppMessageRceive Engaging IsMessageTargetedToNativeModule "
            "- Api "
            "Failed.\n");
    } else if (!isNative) {
        TVC_LOG_WARN("CNativeMsgObserver::OnInterAppMessageRceive : forwarding the message.\n");
        PostToMainThread([text](CNativeMsgObserver& self) { self.ForwardToPage(text); });
    } else {
        TVC_LOG_WARN("CNativeMsgObserver::OnInterAppMessageRceive : processing message.\n");
        std::string command;
        if (!CJSONHelper::QueryJson(text, "message.sub_type", command)) {
            TVC_LOG_ERROR(
                "CNativeMsgObserver::OnInterAppMessageRceive Error parsing command name.");
        } else if (command != "navigate") {
            TVC_LOG_ERROR(
                "CNativeMsgObserver::OnInterAppMessageRceive Unknown command : messageCommand=%s "
                "!!!!!!!",
                command.c_str());
        } else {
            std::string url;
            if (!CJSONHelper::QueryJson(text, "message.payload.url", url)) {
                TVC_LOG_ERROR("CNativeMsgObserver::OnInterAppMessageRceive URL Parse error!!!!!!!");
            } else if (!IsNavigationAllowed(url)) {
                TVC_LOG_ERROR("CNativeMsgObserver::OnInterAppMessageRceive navigate refused for %s",
                              url.c_str());
            } else {
                PostToMainThread([url](CNativeMsgObserver& self) { self.Navigate(url); });
            }
        }
    }
    TVC_LOG_INFO("CNativeMsgObserver::OnInterAppMessageRceive -- json: %s\n",
                 CLogHelper::Excerpt(text).c_str());
}

// Main thread.
void CNativeMsgObserver::ForwardToPage(const std::string& text) {
    if (!m_pBrowserRef) return;
    tvc::engine::ProcessMessage message{tvc::msg::kNativeMessageCommandReceived, {text}};
    if (m_pBrowserRef->SendProcessMessage(tvc::engine::ProcessId::Renderer, message))
        TVC_LOG_WARN(
            "CNativeMsgObserver::OnInterAppMessageRceive : SendProcessMessage is sucess. \n");
    else
        TVC_LOG_ERROR(
            "CNativeMsgObserver::OnInterAppMessageRceive SendProcessMessage : %s send-failure\n",
            message.name.c_str());
}

// Main thread.
void CNativeMsgObserver::Navigate(const std::string& url) {
    auto frame = m_pBrowserRef ? m_pBrowserRef->GetMainFrame() : nullptr;
    if (!frame) {
        TVC_LOG_ERROR("CNativeMsgObserver::OnInterAppMessageRceive : no main frame to load %s",
                      url.c_str());
        return;
    }
    frame->LoadURL(url);
}

void CNativeMsgObserver::OnInterAppMessageDespatch(const std::string& text) {
    TVC_LOG_INFO("CNativeMsgObserver::OnInterAppMessageDespatch ++ json: %s\n",
                 CLogHelper::Excerpt(text).c_str());
    TVC_LOG_INFO("CNativeMsgObserver::OnInterAppMessageDespatch -- json: %s\n",
                 CLogHelper::Excerpt(text).c_str());
}

void CNativeMsgObserver::OnInterAppMessagingListenerExit(bool) {
    TVC_LOG_WARN("%s %s ++ --", __FILE__, "CNativeMsgObserver::OnInterAppMessagingListenerExit");
}

void CNativeMsgObserver::OnInterAppMessagingConnectionEstablished() {
    if (!m_pBrowserRef) {
        TVC_LOG_ERROR(
            "CNativeMsgObserver::OnInterAppMessagingConnectionEstablished : m_pBrowserRef is "
            "NULL!!\n");
        return;
    }
    PostToMainThread([](CNativeMsgObserver& self) { self.NotifyConnectionEstablished(); });
}

// Main thread.
void CNativeMsgObserver::NotifyConnectionEstablished() {
    tvc::engine::ProcessMessage message{tvc::msg::kInterAppConnectionEstablished, {}};
    if (m_pBrowserRef->SendProcessMessage(tvc::engine::ProcessId::Renderer, message))
        TVC_LOG_WARN(
            "CNativeMsgObserver::OnInterAppMessagingConnectionEstablished : SendProcessMessage is "
            "sucess. \n");
    else
        TVC_LOG_ERROR(
            "CNativeMsgObserver::OnInterAppMessagingConnectionEstablished SendProcessMessage : %s "
            "send-failure\n",
            message.name.c_str());
}

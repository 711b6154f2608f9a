#include "engine/webkitgtk/WebKitBrowser.h"

#include <algorithm>

#include "common/LogHelper.h"
#include "common/TaskRunner.h"
#include "glibutil/GObjectPtr.h"
#include "glibutil/MessageBatch.h"
#include "glibutil/VariantConvert.h"

namespace tvc::webkit {
namespace {
constexpr const char* kStartedByAppKey = "tvc-started-by-app";
int g_nextBrowserId = 1;

// The UI process sees only the main frame; sub-frames live in the web process.
class CWebKitFrame final : public engine::IFrame {
  public:
    explicit CWebKitFrame(std::shared_ptr<CWebKitBrowser> browser)
        : m_browser(std::move(browser)) {}
    std::string GetURL() const override {
        WebKitWebView* v = m_browser->view();
        const gchar* uri = v ? webkit_web_view_get_uri(v) : nullptr;
        return uri ? uri : "";
    }
    std::string GetCommittedURL() const override { return m_browser->GetCommittedURL(); }
    bool IsMain() const override { return true; }
    void LoadURL(const std::string& url) override {
        m_browser->SendPendingMessages();
        if (WebKitWebView* v = m_browser->view()) webkit_web_view_load_uri(v, url.c_str());
    }
    void LoadAlternateHtml(const std::string& html, const std::string& failedUrl) override {
        m_browser->SendPendingMessages();
        if (WebKitWebView* v = m_browser->view())
            webkit_web_view_load_alternate_html(v, html.c_str(), failedUrl.c_str(), nullptr);
    }

  private:
    std::shared_ptr<CWebKitBrowser> m_browser;
};
}  // namespace

bool IsDownloadStartedByApp(WebKitDownload* download) {
    return download && g_object_get_data(G_OBJECT(download), kStartedByAppKey) != nullptr;
}

CWebKitBrowser::CWebKitBrowser(WebKitWebView* view, bool isPopup)
    : m_id(g_nextBrowserId++), m_isPopup(isPopup) {
    g_weak_ref_init(&m_view, view);
}

CWebKitBrowser::~CWebKitBrowser() {
    g_weak_ref_clear(&m_view);
}

WebKitWebView* CWebKitBrowser::view() const {
    // The weak ref hands out a strong reference; the container keeps the view alive on this thread.
    auto strong = glib::GObjectPtr<WebKitWebView>::Adopt(
        static_cast<WebKitWebView*>(g_weak_ref_get(&m_view)));
    return strong.get();
}

engine::FrameRef CWebKitBrowser::GetMainFrame() {
    if (!view()) return nullptr;
    return std::make_shared<CWebKitFrame>(shared_from_this());
}

void CWebKitBrowser::Reload() {
    SendPendingMessages();
    if (WebKitWebView* v = view()) webkit_web_view_reload(v);
}

void CWebKitBrowser::ReloadIgnoreCache() {
    SendPendingMessages();
    if (WebKitWebView* v = view()) webkit_web_view_reload_bypass_cache(v);
}

void CWebKitBrowser::TerminateRenderProcess() {
    if (WebKitWebView* v = view()) webkit_web_view_terminate_web_process(v);
}

// The first message of a main-loop turn leaves at once: a lone one waits for nothing. Those that
// follow in the same turn (a batch of inter-app messages, say) leave together at its end, in order.
bool CWebKitBrowser::SendProcessMessage(engine::ProcessId target,
                                        const engine::ProcessMessage& message) {
    if (!view() || target != engine::ProcessId::Renderer) return false;
    m_pending.push_back(message);
    if (!m_bTurnPending) {
        m_bTurnPending = true;
        SendPendingMessages();
        runner::Post([weak = weak_from_this()] {
            if (auto self = weak.lock()) {
                self->SendPendingMessages();
                self->m_bTurnPending = false;
            }
        });
    }
    return true;
}

void CWebKitBrowser::SendPendingMessages() {
    if (m_pending.empty()) return;
    std::vector<engine::ProcessMessage> messages;
    messages.swap(m_pending);
    WebKitWebView* v = view();
    if (!v) return;  // the page is gone, and with it whoever would have read them
    for (auto& batch : glib::SplitIntoBatches(std::move(messages))) SendBatch(v, std::move(batch));
}

void CWebKitBrowser::SendBatch(WebKitWebView* v, std::vector<engine::ProcessMessage> messages) {
    const int count = static_cast<int>(messages.size());
    auto ack = std::make_unique<Ack>(Ack{weak_from_this(), m_uiGeneration, count, {}});
    for (auto& message : messages)
        if (message.keepUntilTaken) ack->holds.push_back(std::move(message.keepUntilTaken));
    const engine::ProcessMessage wire =
        count == 1 ? std::move(messages.front()) : glib::PackMessageBatch(std::move(messages));
    WebKitUserMessage* m = webkit_user_message_new(wire.name.c_str(), glib::ToVariant(wire.args));
    // The web process answers every user message once it has handled it; what is unanswered when
    // it ends was lost with it.
    m_iUnacknowledged += count;
    webkit_web_view_send_message_to_page(v, m, nullptr, &CWebKitBrowser::OnAcknowledged,
                                         ack.release());
}

void CWebKitBrowser::OnAcknowledged(GObject* view, GAsyncResult* result, gpointer data) {
    std::unique_ptr<Ack> ack(static_cast<Ack*>(data));
    glib::GErrorOut error;
    auto* reply =
        webkit_web_view_send_message_to_page_finish(WEBKIT_WEB_VIEW(view), result, error.out());
    // A web process that ends fails its pending messages at once, before its end is reported:
    // those stay counted.
    if (!reply) return;
    g_object_unref(reply);
    auto self = ack->browser.lock();
    if (self && ack->generation == self->m_uiGeneration)
        self->m_iUnacknowledged = std::max(0, self->m_iUnacknowledged - ack->count);
}

int CWebKitBrowser::TakeUnacknowledgedMessageCount() {
    // Those not sent yet are lost with the process as well.
    const int count = m_iUnacknowledged + static_cast<int>(m_pending.size());
    m_pending.clear();
    m_iUnacknowledged = 0;
    ++m_uiGeneration;
    return count;
}

void CWebKitBrowser::CloseBrowser(bool forceClose) {
    SendPendingMessages();
    WebKitWebView* v = view();
    if (!v) return;
    if (forceClose) {
        if (m_onClose) m_onClose();
    } else {
        // The page may run its unload handlers; the view's "close" signal follows.
        webkit_web_view_try_close(v);
    }
}

void CWebKitBrowser::SetFocus(bool focus) {
    if (WebKitWebView* v = view(); v && focus) gtk_widget_grab_focus(GTK_WIDGET(v));
}

void CWebKitBrowser::ShowDevTools() {
    if (WebKitWebView* v = view()) webkit_web_inspector_show(webkit_web_view_get_inspector(v));
}

void CWebKitBrowser::CloseDevTools() {
    if (WebKitWebView* v = view()) webkit_web_inspector_close(webkit_web_view_get_inspector(v));
}

void CWebKitBrowser::InspectElementAt(int x, int y) {
    // WebKitGTK has no public inspect-at-point call; its inspector opens on the document.
    TVC_LOG_INFO("%s : inspecting at %d,%d", TVC_FN, x, y);
    ShowDevTools();
}

void CWebKitBrowser::SetMouseCursorChangeDisabled(bool disabled) {
    TVC_LOG_WARN("%s : cursor changes cannot be disabled in this engine (asked: %d)", TVC_FN,
                 disabled ? 1 : 0);
}

void CWebKitBrowser::StartDownload(const std::string& url) {
    WebKitWebView* v = view();
    if (!v) return;
    WebKitDownload* download = webkit_web_view_download_uri(v, url.c_str());
    if (!download) return;
    g_object_set_data(G_OBJECT(download), kStartedByAppKey, GINT_TO_POINTER(1));
    // Our reference lives until the download ends ("finished" follows "failed" too); the emission
    // holds the object for the handlers after this one.
    g_signal_connect(download, "finished",
                     G_CALLBACK(+[](WebKitDownload* d, gpointer) { g_object_unref(d); }), nullptr);
}
}  // namespace tvc::webkit

#include "engine/webkitgtk/WebKitBrowser.h"

#include "common/LogHelper.h"
#include "glibutil/GObjectPtr.h"
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
    bool IsMain() const override { return true; }
    void LoadURL(const std::string& url) override {
        if (WebKitWebView* v = m_browser->view()) webkit_web_view_load_uri(v, url.c_str());
    }
    void LoadAlternateHtml(const std::string& html, const std::string& failedUrl) override {
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
    if (WebKitWebView* v = view()) webkit_web_view_reload(v);
}

bool CWebKitBrowser::SendProcessMessage(engine::ProcessId target,
                                        const engine::ProcessMessage& message) {
    WebKitWebView* v = view();
    if (!v || target != engine::ProcessId::Renderer) return false;
    WebKitUserMessage* m =
        webkit_user_message_new(message.name.c_str(), glib::ToVariant(message.args));
    // The web process answers every message once it has handled it; what is unanswered when it
    // ends was lost with it.
    ++m_iUnacknowledged;
    auto ack = std::make_unique<Ack>(Ack{weak_from_this(), m_uiGeneration});
    webkit_web_view_send_message_to_page(v, m, nullptr, &CWebKitBrowser::OnAcknowledged,
                                         ack.release());
    return true;
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
    if (self && ack->generation == self->m_uiGeneration && self->m_iUnacknowledged > 0)
        --self->m_iUnacknowledged;
}

int CWebKitBrowser::TakeUnacknowledgedMessageCount() {
    const int count = m_iUnacknowledged;
    m_iUnacknowledged = 0;
    ++m_uiGeneration;
    return count;
}

void CWebKitBrowser::CloseBrowser(bool forceClose) {
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

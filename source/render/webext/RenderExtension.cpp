#include "render/webext/RenderExtension.h"

#include "common/LogHelper.h"
#include "common/ProcessMessages.h"
#include "glibutil/MessageBatch.h"
#include "glibutil/VariantConvert.h"
#include "render/webext/ConsoleBridge.h"

namespace tvc::render::webext {

CRenderExtension::CRenderExtension(WebKitWebExtension* extension, std::shared_ptr<ClientApp> app)
    : m_app(std::move(app)),
      m_originWorld(glib::GObjectPtr<WebKitScriptWorld>::Adopt(
          webkit_script_world_new_with_name("tvc-origin"))) {
    m_pageCreated = glib::ScopedSignal(
        extension, g_signal_connect(extension, "page-created", G_CALLBACK(OnPageCreated), this));
    WebKitScriptWorld* world = webkit_script_world_get_default();
    m_windowObjectCleared = glib::ScopedSignal(
        world,
        g_signal_connect(world, "window-object-cleared", G_CALLBACK(OnWindowObjectCleared), this));
    m_app->OnRenderThreadCreated();
    m_app->OnWebKitInitialized();
}

CRenderExtension::~CRenderExtension() {
    for (const auto& [page, record] : m_pages)
        g_object_weak_unref(G_OBJECT(page), OnPageFinalized, this);
}

std::shared_ptr<CRenderPage> CRenderExtension::Find(WebKitWebPage* page) const {
    auto it = m_pages.find(page);
    return it == m_pages.end() ? nullptr : it->second;
}

void CRenderExtension::OnPageCreated(WebKitWebExtension*, WebKitWebPage* page, gpointer data) {
    auto* self = static_cast<CRenderExtension*>(data);
    auto record = std::make_shared<CRenderPage>(page);
    self->m_pages[page] = record;
    // The page owns these connections: they end with it.
    g_signal_connect(page, "user-message-received", G_CALLBACK(OnUserMessageReceived), self);
    g_signal_connect(page, "console-message-sent", G_CALLBACK(OnConsoleMessageSent), self);
    g_object_weak_ref(G_OBJECT(page), OnPageFinalized, self);
    TVC_LOG_WARN("%s : page %d", TVC_FN, record->GetIdentifier());
    self->m_app->OnBrowserCreated(record);
}

void CRenderExtension::OnWindowObjectCleared(WebKitScriptWorld* world, WebKitWebPage* page,
                                             WebKitFrame* frame, gpointer data) {
    static_cast<CRenderExtension*>(data)->ContextCreated(world, page, frame);
}

void CRenderExtension::ContextCreated(WebKitScriptWorld* world, WebKitWebPage* page,
                                      WebKitFrame* frame) {
    auto record = Find(page);
    if (!record) {
        // A page created before the extension was listening.
        OnPageCreated(nullptr, page, this);
        record = Find(page);
    }
    auto frameRecord = record->FrameFor(frame);
    auto context = std::make_shared<JscContext>(
        glib::GObjectPtr<JSCContext>::Adopt(
            webkit_frame_get_js_context_for_script_world(frame, world)),
        record, frameRecord);
    // The frame's previous document is gone: its registrations go with it.
    if (auto previous = frameRecord->ReplaceContext(context))
        ReleaseContext(record, frameRecord, previous);
    const std::string origin = SecurityOriginOf(frame);
    TVC_LOG_WARN("%s : page %d, frame %lld (%s), %s, origin %s", TVC_FN, record->GetIdentifier(),
                 frameRecord->GetIdentifier(), frameRecord->IsMain() ? "main" : "sub",
                 frameRecord->GetURL().c_str(), origin.c_str());
    if (!InstallConsoleWrapper(context)) TVC_LOG_ERROR("%s : console wrapper failed", TVC_FN);
    if (m_app->IsOwnOrigin(origin)) m_app->OnContextCreated(record, frameRecord, context);
}

std::string CRenderExtension::SecurityOriginOf(WebKitFrame* frame) const {
    // The frame's own document decides, not its address: about:blank and srcdoc frames carry their
    // creator's origin, data: and sandboxed ones an opaque one ("null").
    auto context = glib::GObjectPtr<JSCContext>::Adopt(
        webkit_frame_get_js_context_for_script_world(frame, m_originWorld.get()));
    if (!context) return "null";
    auto read = [&](const char* expression) {
        auto value =
            glib::GObjectPtr<JSCValue>::Adopt(jsc_context_evaluate(context.get(), expression, -1));
        glib::GCharPtr text(
            value && jsc_value_is_string(value.get()) ? jsc_value_to_string(value.get()) : nullptr);
        return std::string(text ? text.get() : "");
    };
    std::string origin = read("self.origin");
    // The engine keeps every local file apart and calls each origin "null"; a file: document can
    // only have been opened by the application or another local file.
    if (origin == "null" && read("location.protocol") == "file:") return "file://";
    return origin.empty() ? "null" : origin;
}

void CRenderExtension::ReleaseContext(const std::shared_ptr<CRenderPage>& page,
                                      const std::shared_ptr<CRenderFrame>& frame,
                                      const std::shared_ptr<JscContext>& context) {
    TVC_LOG_INFO("%s : page %d, frame %lld, context %p", TVC_FN, page->GetIdentifier(),
                 frame->GetIdentifier(), static_cast<void*>(context.get()));
    m_app->OnContextReleased(page, frame, context);
    context->Invalidate();
}

gboolean CRenderExtension::OnUserMessageReceived(WebKitWebPage* page, WebKitUserMessage* message,
                                                 gpointer data) {
    auto* self = static_cast<CRenderExtension*>(data);
    auto record = self->Find(page);
    const char* name = webkit_user_message_get_name(message);
    if (!record || !name) return FALSE;
    engine::ProcessMessage processMessage{
        name, glib::FromVariant(webkit_user_message_get_parameters(message))};
    if (processMessage.name == glib::kMessageBatchName) {
        for (const auto& each : glib::UnpackMessageBatch(processMessage.args))
            self->m_app->OnProcessMessageReceived(record, engine::ProcessId::Browser, each);
    } else {
        self->m_app->OnProcessMessageReceived(record, engine::ProcessId::Browser, processMessage);
    }
    // The acknowledgement the browser counts delivered messages by; with it the message is
    // answered, whether or not a page callback took it.
    webkit_user_message_send_reply(message, webkit_user_message_new(name, nullptr));
    return TRUE;
}

void CRenderExtension::OnConsoleMessageSent(WebKitWebPage* page, WebKitConsoleMessage* message,
                                            gpointer data) {
    auto* self = static_cast<CRenderExtension*>(data);
    ForwardConsoleMessage(self->Find(page), message);
}

void CRenderExtension::OnPageFinalized(gpointer data, GObject* page) {
    static_cast<CRenderExtension*>(data)->PageEnded(reinterpret_cast<WebKitWebPage*>(page));
}

void CRenderExtension::PageEnded(WebKitWebPage* page) {
    auto it = m_pages.find(page);
    if (it == m_pages.end()) return;
    auto record = it->second;
    m_pages.erase(it);
    record->Detach();
    TVC_LOG_WARN("%s : page %d", TVC_FN, record->GetIdentifier());
    for (const auto& [id, frame] : record->Frames())
        if (auto context = frame->ReplaceContext(nullptr)) ReleaseContext(record, frame, context);
    m_app->OnBrowserDestroyed(record);
}
}  // namespace tvc::render::webext

#include "engine/webkitgtk/WebViewClient.h"

#include <string>
#include <utility>

#include "common/LogHelper.h"
#include "engine/Client.h"
#include "glibutil/GObjectPtr.h"
#include "glibutil/VariantConvert.h"

namespace tvc::webkit {
namespace {

// Engine error codes as the handler knows them. Network failures keep their kind, which decides
// whether the load is tried again.
int ToEngineErrorCode(GError* error) {
    if (!error) return engine::kErrorFailed;
    if (error->domain == WEBKIT_NETWORK_ERROR && error->code == WEBKIT_NETWORK_ERROR_CANCELLED)
        return engine::kErrorAborted;
    if (error->domain == WEBKIT_POLICY_ERROR &&
        error->code == WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE)
        return engine::kErrorAborted;
    if ((error->domain == WEBKIT_NETWORK_ERROR &&
         error->code == WEBKIT_NETWORK_ERROR_UNKNOWN_PROTOCOL) ||
        (error->domain == WEBKIT_POLICY_ERROR &&
         error->code == WEBKIT_POLICY_ERROR_CANNOT_SHOW_URI))
        return engine::kErrorUnknownUrlScheme;
    if (error->domain == G_RESOLVER_ERROR) return engine::kErrorNameNotResolved;
    if (error->domain == G_IO_ERROR) {
        switch (error->code) {
            case G_IO_ERROR_HOST_NOT_FOUND:
                return engine::kErrorNameNotResolved;
            case G_IO_ERROR_CONNECTION_REFUSED:
                return engine::kErrorConnectionRefused;
            case G_IO_ERROR_TIMED_OUT:
                return engine::kErrorTimedOut;
            case G_IO_ERROR_NETWORK_UNREACHABLE:
                return engine::kErrorInternetDisconnected;
            case G_IO_ERROR_HOST_UNREACHABLE:
                return engine::kErrorAddressUnreachable;
            default:
                break;
        }
    }
    return engine::kErrorFailed;
}

// What the page asks for, in the words the log uses.
std::string PermissionKind(WebKitPermissionRequest* request) {
    if (WEBKIT_IS_USER_MEDIA_PERMISSION_REQUEST(request)) {
        auto* media = WEBKIT_USER_MEDIA_PERMISSION_REQUEST(request);
        if (webkit_user_media_permission_is_for_display_device(media)) return "display capture";
        const bool audio = webkit_user_media_permission_is_for_audio_device(media);
        const bool video = webkit_user_media_permission_is_for_video_device(media);
        return audio && video ? "camera and microphone" : audio ? "microphone" : "camera";
    }
    const std::pair<GType, const char*> kinds[] = {
        {WEBKIT_TYPE_GEOLOCATION_PERMISSION_REQUEST, "geolocation"},
        {WEBKIT_TYPE_NOTIFICATION_PERMISSION_REQUEST, "notifications"},
        {WEBKIT_TYPE_CLIPBOARD_PERMISSION_REQUEST, "clipboard"},
        {WEBKIT_TYPE_POINTER_LOCK_PERMISSION_REQUEST, "pointer lock"},
        {WEBKIT_TYPE_DEVICE_INFO_PERMISSION_REQUEST, "device information"},
        {WEBKIT_TYPE_MEDIA_KEY_SYSTEM_PERMISSION_REQUEST, "media keys"},
        {WEBKIT_TYPE_WEBSITE_DATA_ACCESS_PERMISSION_REQUEST, "website data access"},
    };
    for (const auto& [type, name] : kinds)
        if (G_TYPE_CHECK_INSTANCE_TYPE(request, type)) return name;
    return G_OBJECT_TYPE_NAME(request);
}
}  // namespace

struct CWebViewClient::Signals {
    static CWebViewClient& Of(gpointer self) { return *static_cast<CWebViewClient*>(self); }

    static void OnViewClose(WebKitWebView* view, gpointer self) { Of(self).DestroyView(view); }

    static void OnViewDestroy(GtkWidget* widget, gpointer self) {
        CWebViewClient& client = Of(self);
        auto* view = WEBKIT_WEB_VIEW(widget);
        View* state = client.Find(view);
        if (!state) return;
        auto browser = state->browser;
        // A close asked of the browser from now on has no view to destroy.
        browser->SetCloseHandler(nullptr);
        client.m_views.erase(view);
        client.m_client->OnBeforeClose(browser);
    }

    static gboolean OnLoadFailed(WebKitWebView* view, WebKitLoadEvent, gchar* failingUri,
                                 GError* error, gpointer self) {
        CWebViewClient& client = Of(self);
        View* state = client.Find(view);
        if (!state) return FALSE;
        auto browser = state->browser;
        TVC_LOG_INFO("%s : %s failed: %s %d %s", TVC_FN, failingUri ? failingUri : "",
                     error ? g_quark_to_string(error->domain) : "", error ? error->code : 0,
                     error ? error->message : "");
        client.m_client->OnLoadError(browser, browser->GetMainFrame(), ToEngineErrorCode(error),
                                     error ? error->message : "", failingUri ? failingUri : "");
        return TRUE;  // the handler decides what is shown, never the engine's own page
    }

    static void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer self) {
        const gchar* uri = webkit_web_view_get_uri(view);
        if (event == WEBKIT_LOAD_FINISHED) {
            TVC_LOG_INFO("%s : load finished %s", TVC_FN, uri ? uri : "");
            return;
        }
        CWebViewClient& client = Of(self);
        View* state = client.Find(view);
        if (!state) return;
        auto browser = state->browser;
        if (event == WEBKIT_LOAD_STARTED)
            client.m_client->OnLoadStart(browser, uri ? uri : "");
        else if (event == WEBKIT_LOAD_COMMITTED) {
            // The view's address moves as soon as a load starts; what it has committed to is
            // what the page's messages come from.
            browser->SetCommittedURL(uri ? uri : "");
            client.m_client->OnLoadCommit(browser);
        }
    }

    static void OnResponsiveChanged(WebKitWebView* view, GParamSpec*, gpointer self) {
        CWebViewClient& client = Of(self);
        View* state = client.Find(view);
        if (!state) return;
        auto browser = state->browser;
        client.m_client->OnResponsivenessChange(
            browser, webkit_web_view_get_is_web_process_responsive(view) != FALSE);
    }

    // Connected after the view's own handler, which sends each key to the page first and keeps
    // it; a key the page did not consume comes back through here.
    static gboolean OnUnhandledKey(GtkWidget* widget, GdkEventKey* key, gpointer self) {
        CWebViewClient& client = Of(self);
        View* state = client.Find(WEBKIT_WEB_VIEW(widget));
        if (!state) return FALSE;
        engine::KeyEvent event;
        const guint keyval = gdk_keyval_to_upper(key->keyval);
        if (keyval >= GDK_KEY_A && keyval <= GDK_KEY_Z)
            event.windowsKeyCode = static_cast<int>('A' + (keyval - GDK_KEY_A));
        else if (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9)
            event.windowsKeyCode = static_cast<int>('0' + (keyval - GDK_KEY_0));
        else if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F12)
            event.windowsKeyCode = 0x70 + static_cast<int>(keyval - GDK_KEY_F1);
        else
            return FALSE;
        if (key->state & GDK_SHIFT_MASK) event.modifiers |= engine::kKeyShift;
        if (key->state & GDK_CONTROL_MASK) event.modifiers |= engine::kKeyControl;
        if (key->state & GDK_MOD1_MASK) event.modifiers |= engine::kKeyAlt;
        auto browser = state->browser;
        return client.m_client->OnKeyEvent(browser, event) ? TRUE : FALSE;
    }

    static void OnWebProcessTerminated(WebKitWebView* view,
                                       WebKitWebProcessTerminationReason reason, gpointer self) {
        CWebViewClient& client = Of(self);
        View* state = client.Find(view);
        if (!state) return;
        engine::TerminationStatus status = engine::TerminationStatus::ProcessCrashed;
        if (reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT)
            status = engine::TerminationStatus::MemoryLimit;
        if (reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API)
            status = engine::TerminationStatus::ProcessWasKilled;
        auto browser = state->browser;
        client.m_client->OnRenderProcessTerminated(browser, status);
    }

    static gboolean OnUserMessage(WebKitWebView* view, WebKitUserMessage* message, gpointer self) {
        CWebViewClient& client = Of(self);
        View* state = client.Find(view);
        if (!state) return FALSE;
        auto browser = state->browser;
        engine::ProcessMessage m{webkit_user_message_get_name(message),
                                 glib::FromVariant(webkit_user_message_get_parameters(message))};
        client.m_client->OnProcessMessageReceived(browser, engine::ProcessId::Renderer, m);
        return TRUE;
    }

    static gboolean OnPermissionRequest(WebKitWebView* view, WebKitPermissionRequest* request,
                                        gpointer self) {
        CWebViewClient& client = Of(self);
        View* state = client.Find(view);
        // Only a website-data request names the frame that asks; WebKit withholds the others
        // from cross-origin frames unless the page delegates them.
        const char* site = nullptr;
        if (WEBKIT_IS_WEBSITE_DATA_ACCESS_PERMISSION_REQUEST(request))
            site = webkit_website_data_access_permission_request_get_requesting_domain(
                WEBKIT_WEBSITE_DATA_ACCESS_PERMISSION_REQUEST(request));
        bool grant = state && client.m_client->OnPermissionRequest(
                                  state->browser, PermissionKind(request), site ? site : "");
        if (grant)
            webkit_permission_request_allow(request);
        else
            webkit_permission_request_deny(request);
        return TRUE;
    }

    static gboolean OnDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                   WebKitPolicyDecisionType type, gpointer self) {
        if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) return FALSE;
        CWebViewClient& client = Of(self);
        View* state = client.Find(view);
        if (!state) return FALSE;
        WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
            WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        const gchar* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
        if (!uri) return FALSE;
        glib::GCharPtr scheme(g_uri_parse_scheme(uri));
        if (!scheme) return FALSE;
        // Schemes the engine loads itself go on; others are the operating system's to open, if
        // at all.
        for (const char* own : {"http", "https", "file", "about", "data", "blob"})
            if (g_ascii_strcasecmp(scheme.get(), own) == 0) return FALSE;
        if (client.m_client->OnProtocolExecution(state->browser, uri))
            client.m_client->OpenUrlExternally(uri);
        webkit_policy_decision_ignore(decision);
        return TRUE;
    }

    static gboolean OnDragDrop(GtkWidget* widget, GdkDragContext* context, gint, gint, guint time,
                               gpointer self) {
        CWebViewClient& client = Of(self);
        View* state = client.Find(WEBKIT_WEB_VIEW(widget));
        if (!state) return FALSE;
        int mask = 0;
        for (GList* t = gdk_drag_context_list_targets(context); t; t = t->next) {
            glib::GCharPtr name(gdk_atom_name(GDK_POINTER_TO_ATOM(t->data)));
            if (g_str_equal(name.get(), "text/uri-list") ||
                g_str_equal(name.get(), "_NETSCAPE_URL") ||
                g_str_equal(name.get(), "text/x-moz-url"))
                mask |= engine::kDragOperationLink;
        }
        if (!client.m_client->OnDragEnter(state->browser, mask)) return FALSE;
        gtk_drag_finish(context, FALSE, FALSE, time);
        return TRUE;
    }

    static void OnReadyToShow(WebKitWebView* view, gpointer self) {
        if (View* state = Of(self).Find(view); state && state->popupWindow)
            gtk_widget_show_all(state->popupWindow.get());
    }

    // Closing the popup's window closes its browser the ordinary way.
    static gboolean OnPopupWindowDelete(WebKitWebView* view) {
        webkit_web_view_try_close(view);
        return TRUE;
    }

    static GtkWidget* OnCreate(WebKitWebView* view, WebKitNavigationAction* action, gpointer self) {
        CWebViewClient& client = Of(self);
        View* state = client.Find(view);
        if (!state) return nullptr;
        const gchar* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
        auto opener = state->browser;
        if (client.m_client->OnBeforePopup(opener, opener->GetMainFrame(), uri ? uri : ""))
            return nullptr;
        GtkWidget* popupView = client.m_engine.CreateRelatedWebView(view);
        GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_default_size(GTK_WINDOW(window), 800, 600);
        gtk_container_add(GTK_CONTAINER(window), popupView);
        View& popup = client.Connect(WEBKIT_WEB_VIEW(popupView), true);
        popup.popupWindow = glib::GObjectPtr<GtkWidget>::Ref(window);
        popup.signals.emplace_back(
            window, g_signal_connect_swapped(window, "delete-event",
                                             G_CALLBACK(OnPopupWindowDelete), popupView));
        popup.signals.emplace_back(popupView, g_signal_connect(popupView, "ready-to-show",
                                                               G_CALLBACK(OnReadyToShow), self));
        auto browser = popup.browser;
        client.m_client->OnAfterCreated(browser);
        return popupView;
    }
};

CWebViewClient::CWebViewClient(CEngineContext& engine, std::shared_ptr<engine::IClient> client)
    : m_engine(engine),
      m_client(std::move(client)),
      m_downloads(engine.GetWebContext(), m_client,
                  [this](WebKitWebView* view) { return BrowserOf(view); }),
      m_menu(m_client, [this](WebKitWebView* view) { return BrowserOf(view); }) {}

CWebViewClient::~CWebViewClient() {
    // Browsers the handler still holds must not reach back into this object.
    for (auto& [view, state] : m_views) state.browser->SetCloseHandler(nullptr);
}

std::shared_ptr<CWebKitBrowser> CWebViewClient::Attach(WebKitWebView* view, bool isPopup) {
    return Connect(view, isPopup).browser;
}

CWebViewClient::View& CWebViewClient::Connect(WebKitWebView* view, bool isPopup) {
    auto browser = std::make_shared<CWebKitBrowser>(view, isPopup);
    browser->SetCloseHandler([this, view] { DestroyView(view); });
    View& state = m_views[view] = View{browser, {}, {}};
    auto connect = [&](const char* signal, GCallback handler) {
        state.signals.emplace_back(view, g_signal_connect(view, signal, handler, this));
    };
    connect("close", G_CALLBACK(Signals::OnViewClose));
    connect("destroy", G_CALLBACK(Signals::OnViewDestroy));
    connect("load-failed", G_CALLBACK(Signals::OnLoadFailed));
    connect("load-changed", G_CALLBACK(Signals::OnLoadChanged));
    connect("web-process-terminated", G_CALLBACK(Signals::OnWebProcessTerminated));
    connect("user-message-received", G_CALLBACK(Signals::OnUserMessage));
    connect("permission-request", G_CALLBACK(Signals::OnPermissionRequest));
    connect("decide-policy", G_CALLBACK(Signals::OnDecidePolicy));
    connect("drag-drop", G_CALLBACK(Signals::OnDragDrop));
    connect("create", G_CALLBACK(Signals::OnCreate));
    connect("notify::is-web-process-responsive", G_CALLBACK(Signals::OnResponsiveChanged));
    state.signals.emplace_back(
        view,
        g_signal_connect_after(view, "key-press-event", G_CALLBACK(Signals::OnUnhandledKey), this));
    state.signals.push_back(m_menu.Connect(view));
    return state;
}

CWebViewClient::View* CWebViewClient::Find(WebKitWebView* view) {
    auto it = m_views.find(view);
    return it == m_views.end() ? nullptr : &it->second;
}

std::shared_ptr<CWebKitBrowser> CWebViewClient::BrowserOf(WebKitWebView* view) const {
    auto it = m_views.find(view);
    return it == m_views.end() ? nullptr : it->second.browser;
}

void CWebViewClient::DestroyView(WebKitWebView* view) {
    View* state = Find(view);
    if (!state) return;
    auto browser = state->browser;
    if (m_client->DoClose(browser)) return;
    state = Find(view);  // the handler may have let the view go meanwhile
    if (!state) return;
    if (state->popupWindow)
        gtk_widget_destroy(state->popupWindow.get());
    else
        gtk_widget_destroy(GTK_WIDGET(view));
}
}  // namespace tvc::webkit

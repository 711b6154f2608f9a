#include "engine/webkitgtk/WebViewClient.h"

#include <map>

#include "common/LogHelper.h"
#include "common/ProcessMessages.h"
#include "engine/Client.h"
#include "engine/webkitgtk/WebViewDownloads.h"
#include "engine/webkitgtk/WebViewMenu.h"
#include "glibutil/GObjectPtr.h"
#include "glibutil/VariantConvert.h"

namespace tvc::webkit {
namespace {

struct ViewState {
    std::shared_ptr<CWebKitBrowser> browser;
    GtkWidget* popupWindow = nullptr;  // the top-level window of a popup, destroyed with it
};

struct ClientState {
    CEngineContext* engine = nullptr;
    std::shared_ptr<engine::IClient> handler;
    std::map<WebKitWebView*, ViewState> views;
};

ClientState& State() {
    static ClientState s;
    return s;
}

ViewState* Find(WebKitWebView* view) {
    auto it = State().views.find(view);
    return it == State().views.end() ? nullptr : &it->second;
}

constexpr int kErrorFailed = -2;

// Engine error codes as the handler knows them (the engine's "aborted" and "unknown scheme").
int ToEngineErrorCode(GError* error) {
    if (!error) return kErrorFailed;
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
    return kErrorFailed;
}

void DestroyView(WebKitWebView* view) {
    ViewState* state = Find(view);
    if (!state) return;
    auto browser = state->browser;
    if (State().handler->DoClose(browser)) return;
    if (state->popupWindow)
        gtk_widget_destroy(state->popupWindow);
    else
        gtk_widget_destroy(GTK_WIDGET(view));
}

void OnViewClose(WebKitWebView* view, gpointer) {
    DestroyView(view);
}

void OnViewDestroy(GtkWidget* widget, gpointer) {
    auto* view = WEBKIT_WEB_VIEW(widget);
    ViewState* state = Find(view);
    if (!state) return;
    auto browser = state->browser;
    State().views.erase(view);
    State().handler->OnBeforeClose(browser);
}

gboolean OnLoadFailed(WebKitWebView* view, WebKitLoadEvent, gchar* failingUri, GError* error,
                      gpointer) {
    ViewState* state = Find(view);
    if (!state) return FALSE;
    auto browser = state->browser;
    State().handler->OnLoadError(browser, browser->GetMainFrame(), ToEngineErrorCode(error),
                                 error ? error->message : "", failingUri ? failingUri : "");
    return TRUE;  // the handler decides what is shown, never the engine's own page
}

void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer) {
    if (event != WEBKIT_LOAD_FINISHED) return;
    const gchar* uri = webkit_web_view_get_uri(view);
    TVC_LOG_INFO("%s : load finished %s", "CWebViewClient::OnLoadChanged", uri ? uri : "");
}

void OnWebProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason reason,
                            gpointer) {
    ViewState* state = Find(view);
    if (!state) return;
    engine::TerminationStatus status = engine::TerminationStatus::ProcessCrashed;
    if (reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT)
        status = engine::TerminationStatus::MemoryLimit;
    if (reason == WEBKIT_WEB_PROCESS_TERMINATED_BY_API)
        status = engine::TerminationStatus::ProcessWasKilled;
    auto browser = state->browser;
    State().handler->OnRenderProcessTerminated(browser, status);
}

gboolean OnUserMessage(WebKitWebView* view, WebKitUserMessage* message, gpointer) {
    ViewState* state = Find(view);
    if (!state) return FALSE;
    auto browser = state->browser;
    engine::ProcessMessage m{webkit_user_message_get_name(message),
                             glib::FromVariant(webkit_user_message_get_parameters(message))};
    // The page's console lines come through the extension: WebKit reports them only there.
    if (m.name == msg::kConsoleMessage) {
        if (engine::MatchesCatalogue(m))
            State().handler->OnConsoleMessage(browser, m.args[0].GetString(), "", 0);
        return TRUE;
    }
    State().handler->OnProcessMessageReceived(browser, engine::ProcessId::Renderer, m);
    return TRUE;
}

gboolean OnPermissionRequest(WebKitWebView* view, WebKitPermissionRequest* request, gpointer) {
    ViewState* state = Find(view);
    bool grant = state && State().handler->OnPermissionRequest(state->browser);
    if (grant)
        webkit_permission_request_allow(request);
    else
        webkit_permission_request_deny(request);
    return TRUE;
}

gboolean OnDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                        WebKitPolicyDecisionType type, gpointer) {
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION) return FALSE;
    ViewState* state = Find(view);
    if (!state) return FALSE;
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
        WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const gchar* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    if (!uri) return FALSE;
    glib::GCharPtr scheme(g_uri_parse_scheme(uri));
    if (!scheme) return FALSE;
    // Schemes the engine loads itself go on; others are the operating system's to open, if at all.
    for (const char* own : {"http", "https", "file", "about", "data", "blob"})
        if (g_ascii_strcasecmp(scheme.get(), own) == 0) return FALSE;
    if (State().handler->OnProtocolExecution(state->browser, uri))
        State().handler->OpenUrlExternally(uri);
    webkit_policy_decision_ignore(decision);
    return TRUE;
}

gboolean OnDragDrop(GtkWidget* widget, GdkDragContext* context, gint, gint, guint time, gpointer) {
    ViewState* state = Find(WEBKIT_WEB_VIEW(widget));
    if (!state) return FALSE;
    int mask = 0;
    for (GList* t = gdk_drag_context_list_targets(context); t; t = t->next) {
        glib::GCharPtr name(gdk_atom_name(GDK_POINTER_TO_ATOM(t->data)));
        if (g_str_equal(name.get(), "text/uri-list") || g_str_equal(name.get(), "_NETSCAPE_URL") ||
            g_str_equal(name.get(), "text/x-moz-url"))
            mask |= engine::kDragOperationLink;
    }
    if (!State().handler->OnDragEnter(state->browser, mask)) return FALSE;
    gtk_drag_finish(context, FALSE, FALSE, time);
    return TRUE;
}

void OnReadyToShow(WebKitWebView* view, gpointer) {
    if (ViewState* state = Find(view); state && state->popupWindow)
        gtk_widget_show_all(state->popupWindow);
}

GtkWidget* OnCreate(WebKitWebView* view, WebKitNavigationAction* action, gpointer) {
    ViewState* state = Find(view);
    if (!state) return nullptr;
    const gchar* uri = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    auto opener = state->browser;
    if (State().handler->OnBeforePopup(opener, opener->GetMainFrame(), uri ? uri : ""))
        return nullptr;
    GtkWidget* popupView = State().engine->CreateRelatedWebView(view);
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 800, 600);
    gtk_container_add(GTK_CONTAINER(window), popupView);
    auto browser = CWebViewClient::Attach(WEBKIT_WEB_VIEW(popupView), true);
    Find(WEBKIT_WEB_VIEW(popupView))->popupWindow = window;
    // Closing the popup's window closes its browser the ordinary way.
    g_signal_connect_swapped(window, "delete-event", G_CALLBACK(+[](WebKitWebView* v) -> gboolean {
                                 webkit_web_view_try_close(v);
                                 return TRUE;
                             }),
                             popupView);
    g_signal_connect(popupView, "ready-to-show", G_CALLBACK(OnReadyToShow), nullptr);
    State().handler->OnAfterCreated(browser);
    return popupView;
}
}  // namespace

void CWebViewClient::Initialize(CEngineContext& engine, std::shared_ptr<engine::IClient> handler) {
    State().engine = &engine;
    State().handler = handler;
    ConnectDownloads(engine.GetWebContext(), std::move(handler), &CWebViewClient::BrowserOf);
}

std::shared_ptr<CWebKitBrowser> CWebViewClient::Attach(WebKitWebView* view, bool isPopup) {
    auto browser = std::make_shared<CWebKitBrowser>(view, isPopup);
    browser->SetCloseHandler([view] { DestroyView(view); });
    State().views[view] = ViewState{browser, nullptr};
    g_signal_connect(view, "close", G_CALLBACK(OnViewClose), nullptr);
    g_signal_connect(view, "destroy", G_CALLBACK(OnViewDestroy), nullptr);
    g_signal_connect(view, "load-failed", G_CALLBACK(OnLoadFailed), nullptr);
    g_signal_connect(view, "load-changed", G_CALLBACK(OnLoadChanged), nullptr);
    g_signal_connect(view, "web-process-terminated", G_CALLBACK(OnWebProcessTerminated), nullptr);
    g_signal_connect(view, "user-message-received", G_CALLBACK(OnUserMessage), nullptr);
    g_signal_connect(view, "permission-request", G_CALLBACK(OnPermissionRequest), nullptr);
    g_signal_connect(view, "decide-policy", G_CALLBACK(OnDecidePolicy), nullptr);
    g_signal_connect(view, "drag-drop", G_CALLBACK(OnDragDrop), nullptr);
    g_signal_connect(view, "create", G_CALLBACK(OnCreate), nullptr);
    ConnectContextMenu(view, State().handler, &CWebViewClient::BrowserOf);
    return browser;
}

void CWebViewClient::Shutdown() {
    State().views.clear();
    State().handler.reset();
    State().engine = nullptr;
    ConnectDownloads(nullptr, nullptr, nullptr);
    ConnectContextMenu(nullptr, nullptr, nullptr);
}

std::shared_ptr<CWebKitBrowser> CWebViewClient::BrowserOf(WebKitWebView* view) {
    ViewState* state = Find(view);
    return state ? state->browser : nullptr;
}
}  // namespace tvc::webkit

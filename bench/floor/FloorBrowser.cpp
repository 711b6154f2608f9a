// The floor the program's start-up and memory are measured against: a bare WebKitGTK window
// that loads one address and nothing else. It prints wall-clock times (µs since the epoch), so
// the caller can subtract the moment it started the process.
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>

namespace {
void Report(const char* what) {
    std::printf("%s %lld\n", what, static_cast<long long>(g_get_real_time()));
    std::fflush(stdout);
}

void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer) {
    if (event == WEBKIT_LOAD_FINISHED) Report("load-finished");
}

// The page's own load event, the bare counterpart of the program's ready event.
void OnReady(WebKitUserContentManager*, WebKitJavascriptResult*, gpointer) {
    Report("page-ready");
}

gboolean OnFirstFrame(GtkWidget*, GdkFrameClock*, gpointer) {
    Report("first-frame");
    return G_SOURCE_REMOVE;
}
}  // namespace

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s URL\n", argv[0]);
        return 2;
    }
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_default_size(GTK_WINDOW(window), 1024, 700);
    WebKitUserContentManager* content = webkit_user_content_manager_new();
    g_signal_connect(content, "script-message-received::ready", G_CALLBACK(OnReady), nullptr);
    webkit_user_content_manager_register_script_message_handler(content, "ready");
    WebKitUserScript* script = webkit_user_script_new(
        "addEventListener('load', () => window.webkit.messageHandlers.ready.postMessage(1));",
        WEBKIT_USER_CONTENT_INJECT_TOP_FRAME, WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr,
        nullptr);
    webkit_user_content_manager_add_script(content, script);
    webkit_user_script_unref(script);
    GtkWidget* view = webkit_web_view_new_with_user_content_manager(content);
    g_object_unref(content);
    g_signal_connect(view, "load-changed", G_CALLBACK(OnLoadChanged), nullptr);
    gtk_container_add(GTK_CONTAINER(window), view);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
    gtk_widget_add_tick_callback(window, OnFirstFrame, nullptr, nullptr);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[1]);
    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}

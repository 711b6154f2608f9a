// The WebKit floor of the inter-app round trip: a user message from the UI process to a bare
// web-process extension and its reply, p50/p99 over 10,000 messages of 100 B and 10 KB.
// Run by hand under a display:  xvfb-run -a build/bin/webkit_user_message_floor
#include <webkit2/webkit2.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;
constexpr int kMessages = 10000;
constexpr int kWarmup = 500;

struct SRun {
    WebKitWebView* view = nullptr;
    GMainLoop* loop = nullptr;
    std::vector<size_t> sizes{100, 10 * 1024};
    size_t sizeIndex = 0;
    std::string text;
    int sent = 0;
    Clock::time_point start;
    std::vector<double> samples;
    bool failed = false;
};

void SendNext(SRun& run);

void OnReply(GObject* source, GAsyncResult* result, gpointer data) {
    auto& run = *static_cast<SRun*>(data);
    GError* error = nullptr;
    WebKitUserMessage* reply =
        webkit_web_view_send_message_to_page_finish(WEBKIT_WEB_VIEW(source), result, &error);
    const double us = std::chrono::duration<double, std::micro>(Clock::now() - run.start).count();
    if (!reply) {
        std::printf("no reply: %s\n", error ? error->message : "?");
        g_clear_error(&error);
        run.failed = true;
        g_main_loop_quit(run.loop);
        return;
    }
    g_object_unref(reply);
    if (run.sent > kWarmup) run.samples.push_back(us);
    if (run.sent == kWarmup + kMessages) {
        std::sort(run.samples.begin(), run.samples.end());
        std::printf("user-message round trip %6zu B: p50 %.1f us, p99 %.1f us\n", run.text.size(),
                    run.samples[run.samples.size() / 2],
                    run.samples[run.samples.size() * 99 / 100]);
        std::fflush(stdout);
        run.samples.clear();
        run.sent = 0;
        if (++run.sizeIndex == run.sizes.size()) {
            g_main_loop_quit(run.loop);
            return;
        }
    }
    SendNext(run);
}

void SendNext(SRun& run) {
    run.text.assign(run.sizes[run.sizeIndex], 'q');
    GVariant* args = g_variant_new_string(run.text.c_str());
    ++run.sent;
    run.start = Clock::now();
    webkit_web_view_send_message_to_page(run.view, webkit_user_message_new("echo", args), nullptr,
                                         OnReply, &run);
}

void OnLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
    if (event == WEBKIT_LOAD_FINISHED) SendNext(*static_cast<SRun*>(data));
}
}  // namespace

int main(int argc, char** argv) {
    gtk_init(&argc, &argv);
    WebKitWebContext* context = webkit_web_context_new();
    webkit_web_context_set_web_extensions_directory(context, TVC_FLOOR_EXTENSION_DIR);
    SRun run;
    run.view = WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(context));
    GtkWidget* window = gtk_offscreen_window_new();
    gtk_container_add(GTK_CONTAINER(window), GTK_WIDGET(run.view));
    gtk_widget_show_all(window);
    run.loop = g_main_loop_new(nullptr, FALSE);
    g_signal_connect(run.view, "load-changed", G_CALLBACK(OnLoadChanged), &run);
    webkit_web_view_load_html(run.view, "<html><body></body></html>", "about:blank");
    g_main_loop_run(run.loop);
    gtk_widget_destroy(window);
    g_object_unref(context);
    return run.failed ? 1 : 0;
}

// The GTK adapters on a real X display (Xvfb, no window manager): what does not depend on a
// window manager. Window-manager behaviour is covered by the program's integration tests.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "RectPrinter.h"
#include "platform/MinimumSize.h"
#include "platform/SingleInstance.h"
#include "platform/SplashLayout.h"
#include "platform/gtk/AboutBox.h"
#include "platform/gtk/GtkAppWindow.h"
#include "platform/gtk/GtkDesktop.h"
#include "platform/gtk/GtkUpdateUi.h"
#include "platform/gtk/InstanceActivation.h"
#include "platform/gtk/MessageBox.h"
#include "platform/gtk/ShutdownWatch.h"
#include "platform/gtk/SplashScreen.h"

// Last: Xlib's macros (None, Bool, Status) clash with the test framework's names.
#include <X11/Xutil.h>
#include <gdk/gdkx.h>

using namespace tvc::platform;
using namespace tvc::platform::gtk;

namespace {
// Runs the default main context until `done` holds or `ms` have passed; true when it held.
bool RunUntil(const std::function<bool()>& done, int ms = 3000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
    }
    return true;
}

class GtkPlatform : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "no display";
    }
    void TearDown() override {
        for (GtkWidget* w : m_windows) gtk_widget_destroy(w);
        RunUntil([] { return !g_main_context_pending(nullptr); }, 500);
    }
    GtkWidget* NewWindow(GtkWidget* w) {
        m_windows.push_back(w);
        return w;
    }
    std::vector<GtkWidget*> m_windows;
};

TEST_F(GtkPlatform, HiddenWindowKeepsItsPlacementUntilShownAndAfterHiding) {
    GtkWidget* w = NewWindow(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    GtkAppWindow win(GTK_WINDOW(w));
    win.SetRect({120, 90, 640, 480});
    EXPECT_EQ(win.GetRect(), (Rect{120, 90, 640, 480}));
    EXPECT_FALSE(win.IsVisible());
    win.Show();
    ASSERT_TRUE(RunUntil([&] {
        return gtk_widget_get_mapped(w) && win.GetRect() == Rect{120, 90, 640, 480};
    })) << "got "
        << testing::PrintToString(win.GetRect());
    win.Hide();
    EXPECT_FALSE(win.IsVisible());
    EXPECT_EQ(win.GetRect(), (Rect{120, 90, 640, 480}));
    win.SetRect({30, 40, 700, 500});
    win.Show();
    EXPECT_TRUE(RunUntil([&] {
        return gtk_widget_get_mapped(w) && win.GetRect() == Rect{30, 40, 700, 500};
    }));
}

TEST_F(GtkPlatform, MinimumSizeReachesTheWindowsSizeHints) {
    GtkWidget* w = NewWindow(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    GtkAppWindow win(GTK_WINDOW(w));
    win.SetMinimumSizePacked(PackMinimumSize(500, 400));
    EXPECT_EQ(win.GetMinimumSizePacked(), PackMinimumSize(500, 400));
    win.SetRect({0, 0, 800, 600});
    win.Show();
    ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_mapped(w); }));
    GdkWindow* gw = gtk_widget_get_window(w);
    XSizeHints hints{};
    long supplied = 0;
    ASSERT_TRUE(XGetWMNormalHints(GDK_WINDOW_XDISPLAY(gw), GDK_WINDOW_XID(gw), &hints, &supplied));
    EXPECT_TRUE(hints.flags & PMinSize);
    EXPECT_EQ(hints.min_width, 500);
    EXPECT_EQ(hints.min_height, 400);
}

TEST_F(GtkPlatform, PostedWorkRunsLaterInOrderAndNeverAfterTheWindowIsGone) {
    GtkWidget* w = NewWindow(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    std::string trace;
    GtkAppWindow win(GTK_WINDOW(w), [&] { trace += "close;"; });
    ASSERT_TRUE(win.PostClose());
    ASSERT_TRUE(win.PostFocus());
    ASSERT_TRUE(win.PostClose());
    EXPECT_EQ(trace, "");  // queued, not run on the caller's stack
    ASSERT_TRUE(RunUntil([&] { return trace == "close;close;"; }));

    // Without a callback a posted close is a delete-event, as a posted WM_CLOSE is.
    GtkWidget* w2 = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    int deletes = 0;
    g_signal_connect(w2, "delete-event",
                     G_CALLBACK(+[](GtkWidget*, GdkEvent*, gpointer n) -> gboolean {
                         ++*static_cast<int*>(n);
                         return TRUE;  // keep the window, as the close box does
                     }),
                     &deletes);
    auto win2 = std::make_unique<GtkAppWindow>(GTK_WINDOW(w2));
    win2->Show();
    ASSERT_TRUE(win2->PostClose());
    ASSERT_TRUE(RunUntil([&] { return deletes == 1; }));
    EXPECT_TRUE(win2->IsValid());

    // Work queued before the window goes is dropped; afterwards nothing can be queued.
    ASSERT_TRUE(win2->PostClose());
    gtk_widget_destroy(w2);
    EXPECT_FALSE(win2->IsValid());
    EXPECT_FALSE(win2->PostClose());
    EXPECT_FALSE(win2->PostFocus());
    win2->Show();
    win2->SetRect({1, 2, 3, 4});
    EXPECT_EQ(win2->GetRect(), Rect{});
    RunUntil([] { return !g_main_context_pending(nullptr); }, 500);
    EXPECT_EQ(deletes, 1);

    // An object destroyed with work still queued leaves nothing behind to run.
    auto win3 = std::make_unique<GtkAppWindow>(GTK_WINDOW(w), [&] { trace += "late;"; });
    ASSERT_TRUE(win3->PostClose());
    win3.reset();
    RunUntil([] { return !g_main_context_pending(nullptr); }, 500);
    EXPECT_EQ(trace, "close;close;");
}

class SplashTest : public GtkPlatform {
  protected:
    void SetUp() override {
        GtkPlatform::SetUp();
        if (IsSkipped()) return;
        m_window = NewWindow(gtk_offscreen_window_new());
        m_overlay = gtk_overlay_new();
        gtk_container_add(GTK_CONTAINER(m_window), m_overlay);
        gtk_container_add(GTK_CONTAINER(m_overlay), gtk_label_new("page"));
        gtk_window_set_default_size(GTK_WINDOW(m_window), 800, 600);
        m_splash = CreateSplashScreen(GTK_OVERLAY(m_overlay));
        ASSERT_TRUE(m_splash);
        gtk_widget_show_all(m_window);
    }
    GtkWidget* Panel() const {
        GList* children = gtk_container_get_children(GTK_CONTAINER(m_overlay));
        GtkWidget* panel = nullptr;
        int panels = 0;
        for (GList* l = children; l; l = l->next) {
            if (GTK_IS_DRAWING_AREA(l->data)) {
                panel = GTK_WIDGET(l->data);
                ++panels;
            }
        }
        g_list_free(children);
        EXPECT_EQ(panels, 1);
        return panel;
    }
    GtkWidget* m_window = nullptr;
    GtkWidget* m_overlay = nullptr;
    std::shared_ptr<ISplashScreen> m_splash;
};

TEST_F(SplashTest, ShownOnlyOnRequestOnceAndHiddenOnRequest) {
    EXPECT_FALSE(m_splash->IsShown());  // show_all of the window does not show it
    m_splash->HideSplashScreen();       // nothing to hide: no effect
    EXPECT_FALSE(m_splash->IsShown());
    m_splash->ShowSplashScreen(0);
    m_splash->ShowSplashScreen(0);
    EXPECT_TRUE(m_splash->IsShown());
    EXPECT_TRUE(gtk_widget_get_visible(Panel()));
    m_splash->HideSplashScreen();
    EXPECT_FALSE(m_splash->IsShown());
    m_splash->ShowSplashScreen(0);
    EXPECT_TRUE(m_splash->IsShown());
    Panel();
}

TEST_F(SplashTest, TimeOutHidesItAndAnEarlierHideCancelsIt) {
    m_splash->ShowSplashScreen(50);
    EXPECT_TRUE(m_splash->IsShown());
    EXPECT_TRUE(RunUntil([&] { return !m_splash->IsShown(); }, 2000));

    m_splash->ShowSplashScreen(30);
    m_splash->HideSplashScreen();
    m_splash->ShowSplashScreen(0);
    bool waited = false;
    g_timeout_add(
        150, +[](gpointer p) -> gboolean { return *static_cast<bool*>(p) = true, G_SOURCE_REMOVE; },
        &waited);
    RunUntil([&] { return waited; });
    EXPECT_TRUE(m_splash->IsShown());
}

TEST_F(SplashTest, DrawsBackgroundPictureAndBarWhereTheLayoutSays) {
    m_splash->ShowSplashScreen(0);
    GtkWidget* panel = Panel();
    ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_allocated_width(panel) == 800; }));
    auto check = [&](int cw, int ch) {
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, cw, ch);
        cairo_t* cr = cairo_create(surface);
        gtk_widget_draw(panel, cr);
        cairo_destroy(cr);
        cairo_surface_flush(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        auto pixel = [&](int x, int y) {
            const auto* p = data + y * stride + x * 4;  // BGRx
            return (p[2] << 16) | (p[1] << 8) | p[0];
        };
        const int background = (27 << 16) | (32 << 8) | 37;
        const SplashLayout l = ComputeSplashLayout(cw, ch, 360, 120);
        EXPECT_EQ(pixel(2, 2), background);
        EXPECT_EQ(pixel(cw - 2, ch - 2), background);
        EXPECT_EQ(pixel(l.bar.x + l.bar.width / 2, l.bar.y + 1), 0xFFFFFF);
        EXPECT_EQ(pixel(l.bar.x + l.bar.width / 2, l.bar.y + l.bar.height), background);
        int pictureInk = 0;
        for (int y = l.picture.y; y < l.picture.y + l.picture.height; ++y)
            for (int x = l.picture.x; x < l.picture.x + l.picture.width; ++x)
                pictureInk += pixel(x, y) != background;
        EXPECT_GT(pictureInk, 1000);
        cairo_surface_destroy(surface);
    };
    check(800, 600);
    // It follows the window's size.
    gtk_widget_set_size_request(m_overlay, 1000, 700);
    ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_allocated_width(panel) == 1000; }));
    check(1000, 700);
}

TEST_F(GtkPlatform, AboutBoxDoesNotBlockAndEscClosesItOnce) {
    GtkWidget* parent = NewWindow(gtk_window_new(GTK_WINDOW_TOPLEVEL));
    gtk_widget_show(parent);
    int closed = 0;
    ASSERT_TRUE(ShowAboutBox(GTK_WINDOW(parent), [&] { ++closed; }));
    GtkWindow* about = nullptr;
    GList* tops = gtk_window_list_toplevels();
    for (GList* l = tops; l; l = l->next)
        if (g_strcmp0(gtk_window_get_title(GTK_WINDOW(l->data)), "About") == 0)
            about = GTK_WINDOW(l->data);
    g_list_free(tops);
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(gtk_window_get_modal(about));
    EXPECT_EQ(gtk_window_get_transient_for(about), GTK_WINDOW(parent));
    ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(about)); }));
    EXPECT_EQ(closed, 0);
    gtk_bindings_activate(G_OBJECT(about), GDK_KEY_Escape, static_cast<GdkModifierType>(0));
    EXPECT_TRUE(RunUntil([&] { return closed == 1; }));
    RunUntil([] { return !g_main_context_pending(nullptr); }, 300);
    EXPECT_EQ(closed, 1);
}

TEST_F(GtkPlatform, UpdatePromptShowsTheInformationIconAndAnswersOnce) {
    GtkUpdateUi ui;
    std::vector<bool> answers;
    ASSERT_TRUE(ui.ShowUpdatePrompt("An update is available", "Update prompt",
                                    [&](bool accepted) { answers.push_back(accepted); }));
    GtkWidget* prompt = nullptr;
    GList* tops = gtk_window_list_toplevels();
    for (GList* l = tops; l; l = l->next)
        if (g_strcmp0(gtk_window_get_title(GTK_WINDOW(l->data)), "Update prompt") == 0)
            prompt = GTK_WIDGET(l->data);
    g_list_free(tops);
    ASSERT_NE(prompt, nullptr);
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GtkWidget* icon = gtk_message_dialog_get_image(GTK_MESSAGE_DIALOG(prompt));
    G_GNUC_END_IGNORE_DEPRECATIONS
    ASSERT_TRUE(GTK_IS_IMAGE(icon));
    ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_mapped(icon); }));
    const gchar* name = nullptr;
    gtk_image_get_icon_name(GTK_IMAGE(icon), &name, nullptr);
    EXPECT_STREQ(name, "dialog-information");
    EXPECT_GE(gtk_widget_get_allocated_width(icon), 48);
    gtk_dialog_response(GTK_DIALOG(prompt), GTK_RESPONSE_OK);
    EXPECT_EQ(answers, std::vector<bool>{true});
}

TEST_F(GtkPlatform, DesktopRefusesEmptyUrlAndKnowsNoShutdownWithoutAWatch) {
    GtkDesktop desktop;
    EXPECT_FALSE(desktop.OpenUrlExternally(""));
    EXPECT_FALSE(desktop.GetWorkAreas().empty());
    EXPECT_GT(desktop.GetMaximizedArea().width, 0);
    bool inProgress = true;
    EXPECT_FALSE(desktop.GetIsSystemShutdownInProgress(inProgress));
    EXPECT_FALSE(inProgress);
}

// A bus connection of the test's own; the caller unrefs it.
GDBusConnection* ConnectTo(const char* address) {
    return g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
}

// Sends logind's signal from `bus`; returns once the bus daemon has routed it (a round trip to the
// daemon follows it on the same connection).
void EmitPrepareForShutdown(GDBusConnection* bus, bool starting) {
    g_dbus_connection_emit_signal(bus, nullptr, "/org/freedesktop/login1",
                                  "org.freedesktop.login1.Manager", "PrepareForShutdown",
                                  g_variant_new("(b)", starting), nullptr);
    GVariant* id = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                               "org.freedesktop.DBus", "GetId", nullptr, nullptr,
                                               G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    if (id) g_variant_unref(id);
}

TEST_F(GtkPlatform, ShutdownWatchQuitsOnLogindsShutdownOnly) {
    // The test's session bus stands in for the system bus.
    const char* session = getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!session) GTEST_SKIP() << "no session bus";
    const char* old = getenv("DBUS_SYSTEM_BUS_ADDRESS");
    const std::string saved = old ? old : "";
    setenv("DBUS_SYSTEM_BUS_ADDRESS", session, 1);
    int quits = 0;
    {
        CShutdownWatch watch([&] { ++quits; });
        ASSERT_TRUE(RunUntil([&] { return watch.IsWatching(); }));
        GDBusConnection* impostor = ConnectTo(session);
        GDBusConnection* logind = ConnectTo(session);
        ASSERT_TRUE(impostor && logind);
        GVariant* owned = g_dbus_connection_call_sync(
            logind, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
            "RequestName", g_variant_new("(su)", "org.freedesktop.login1", 4u), nullptr,
            G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
        ASSERT_TRUE(owned);
        g_variant_unref(owned);
        // Anyone may send the signal; only the name's owner is heard, and only for a shutdown.
        EmitPrepareForShutdown(impostor, true);
        EmitPrepareForShutdown(logind, false);
        EmitPrepareForShutdown(logind, true);
        ASSERT_TRUE(RunUntil([&] { return quits > 0; }));
        EXPECT_EQ(quits, 1);
        g_object_unref(impostor);
        g_object_unref(logind);
    }
    if (old)
        setenv("DBUS_SYSTEM_BUS_ADDRESS", saved.c_str(), 1);
    else
        unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

std::vector<GtkWindow*> WindowsTitled(const char* title) {
    std::vector<GtkWindow*> found;
    GList* tops = gtk_window_list_toplevels();
    for (GList* l = tops; l; l = l->next)
        if (g_strcmp0(gtk_window_get_title(GTK_WINDOW(l->data)), title) == 0)
            found.push_back(GTK_WINDOW(l->data));
    g_list_free(tops);
    return found;
}

struct RecordingListener : GUIUtils::IMessageBoxEventsListner {
    std::vector<int> events;
    void HandleMessageBoxEvent(int eventType) override { events.push_back(eventType); }
};

TEST_F(GtkPlatform, PortFailureBoxHelpKeepsItUpCloseReportsOnceOneBoxAtATimeProgramTakesItDown) {
    const char* caption = "Tavisto for Web : ports unavailable/blocked.";
    std::vector<std::string> opened;
    CGtkMessageBoxes boxes([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    auto listener = std::make_shared<RecordingListener>();
    auto show = [&] {
        return boxes.ShowMessageBox("t", "m", IMessageBoxes::kTypePortFailure,
                                    "https://help.example/ports", listener);
    };
    EXPECT_FALSE(boxes.ShowMessageBox("t", "m", 7, "", listener));  // no such dialog
    ASSERT_TRUE(show());
    ASSERT_TRUE(show());
    ASSERT_EQ(WindowsTitled(caption).size(), 1u);
    GtkWindow* box = WindowsTitled(caption)[0];
    EXPECT_FALSE(gtk_window_get_modal(box));
    EXPECT_EQ(gtk_window_get_transient_for(box), nullptr);
    ASSERT_TRUE(RunUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(box)); }));

    gtk_dialog_response(GTK_DIALOG(box), 1004);  // Help
    EXPECT_EQ(opened, std::vector<std::string>{"https://help.example/ports"});
    EXPECT_TRUE(listener->events.empty());
    EXPECT_EQ(WindowsTitled(caption).size(), 1u);

    gtk_bindings_activate(G_OBJECT(box), GDK_KEY_Escape, static_cast<GdkModifierType>(0));
    EXPECT_TRUE(RunUntil([&] { return WindowsTitled(caption).empty(); }));
    EXPECT_EQ(listener->events, std::vector<int>{GUIUtils::IMessageBoxEventsListner::kEventClosed});

    ASSERT_TRUE(show());  // a closed box makes room for the next one
    ASSERT_EQ(WindowsTitled(caption).size(), 1u);
    gtk_dialog_response(GTK_DIALOG(WindowsTitled(caption)[0]), 1001);  // Close
    EXPECT_TRUE(RunUntil([&] { return WindowsTitled(caption).empty(); }));
    EXPECT_EQ(listener->events,
              std::vector<int>(2, GUIUtils::IMessageBoxEventsListner::kEventClosed));

    // Taken down by the program: gone, no close reported, room for the next one.
    ASSERT_TRUE(show());
    boxes.CloseMessageBox(IMessageBoxes::kTypePortFailure);
    EXPECT_TRUE(RunUntil([&] { return WindowsTitled(caption).empty(); }));
    EXPECT_EQ(listener->events.size(), 2u);
    ASSERT_TRUE(show());
    EXPECT_EQ(WindowsTitled(caption).size(), 1u);
}

TEST_F(GtkPlatform, ActivationSocketAnswersThisUserOnlyOthersCannotRaiseTheWindow) {
    char tmpl[] = "/tmp/tvc-act-XXXXXX";
    const std::string folder = mkdtemp(tmpl);
    chmod(folder.c_str(), 0755);  // others may reach the socket file: only it and the uid guard
    const std::string path = folder + "/TVC_Mutex.sock";
    int activations = 0;
    std::vector<std::string> tokens;
    {
        CInstanceActivationListener listener(path, [&](const std::string& token) {
            ++activations;
            tokens.push_back(token);
        });
        ASSERT_TRUE(listener.IsListening());

        if (getuid() == 0) {
            const pid_t child = fork();
            if (child == 0) {
                if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
                _exit(RequestInstanceActivation(path, 500) ? 1 : 0);
            }
            int status = -1;
            ASSERT_TRUE(RunUntil([&] { return waitpid(child, &status, WNOHANG) == child; }));
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
            EXPECT_EQ(activations, 0);
        }

        // The launcher's token crosses with the request; an older launch that sends nothing and
        // keeps its side open is still served, without one.
        auto olderLaunch = [&path] {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::strcpy(address.sun_path, path.c_str());
            const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
            char ack = 0;
            const bool answered =
                connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
                read(fd, &ack, 1) == 1 && ack == '1';
            close(fd);
            return answered;
        };
        const std::vector<std::function<bool()>> requests = {
            [&] { return RequestInstanceActivation(path, 3000); },
            [&] { return RequestInstanceActivation(path, 3000, "launch-7_TIME4242"); },
            olderLaunch,
        };
        for (const auto& request : requests) {
            bool answered = false;
            std::atomic<bool> done{false};
            std::thread asker([&] {
                answered = request();
                done = true;
            });
            RunUntil([&] { return done.load(); }, 4000);
            asker.join();
            EXPECT_TRUE(answered);
        }
        EXPECT_EQ(tokens, (std::vector<std::string>{"", "launch-7_TIME4242", ""}));
    }
    EXPECT_FALSE(RequestInstanceActivation(path, 500));  // nobody listens once it is gone
    rmdir(folder.c_str());
}
}  // namespace

#include "platform/gtk/GtkDesktop.h"

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "common/LogHelper.h"
#include "glibutil/GObjectPtr.h"
#include "glibutil/OwnEnvironment.h"

namespace tvc::platform::gtk {
namespace {
Rect WorkAreaOf(GdkMonitor* monitor) {
    GdkRectangle r{};
    gdk_monitor_get_workarea(monitor, &r);
    return {r.x, r.y, r.width, r.height};
}

// Shared between the asking (main) thread and the worker; guarded by `mutex`.
struct ShutdownQuery {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    bool ok = false;
    bool preparing = false;
};

// Worker thread. Blocking GDBus calls on a private connection (the shared system-bus singleton
// would end the process if the bus went away); touches nothing but `query`.
void QueryLogind(const std::shared_ptr<ShutdownQuery>& query, int timeoutMs) {
    bool ok = false, preparing = false;
    glib::GErrorOut err;
    glib::GCharPtr address(g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, err.out()));
    glib::GObjectPtr<GDBusConnection> bus;
    if (address) {
        bus = glib::GObjectPtr<GDBusConnection>::Adopt(g_dbus_connection_new_for_address_sync(
            address.get(),
            static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                              G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, err.out()));
    }
    if (bus) {
        glib::GVariantPtr reply(g_dbus_connection_call_sync(
            bus.get(), "org.freedesktop.login1", "/org/freedesktop/login1",
            "org.freedesktop.DBus.Properties", "Get",
            g_variant_new("(ss)", "org.freedesktop.login1.Manager", "PreparingForShutdown"),
            G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, timeoutMs, nullptr, err.out()));
        if (reply) {
            GVariant* boxed = nullptr;
            g_variant_get(reply.get(), "(v)", &boxed);
            glib::GVariantPtr value(boxed);
            if (value && g_variant_is_of_type(value.get(), G_VARIANT_TYPE_BOOLEAN)) {
                ok = true;
                preparing = g_variant_get_boolean(value.get());
            }
        }
        g_dbus_connection_close_sync(bus.get(), nullptr, nullptr);
    }
    if (err)
        TVC_LOG_WARN("%s : logind not reachable: %s", "GtkDesktop::GetIsSystemShutdownInProgress",
                     err.message());
    {
        std::lock_guard<std::mutex> lock(query->mutex);
        query->done = true;
        query->ok = ok;
        query->preparing = preparing;
    }
    query->cv.notify_one();
}
}  // namespace

Rect GtkDesktop::GetMaximizedArea() const {
    GdkDisplay* display = gdk_display_get_default();
    if (!display) {
        TVC_LOG_ERROR("%s : no display", TVC_FN);
        return {};
    }
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (!monitor && gdk_display_get_n_monitors(display) > 0)
        monitor = gdk_display_get_monitor(display, 0);
    return monitor ? WorkAreaOf(monitor) : Rect{};
}

std::vector<Rect> GtkDesktop::GetWorkAreas() const {
    std::vector<Rect> areas;
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return areas;
    const int n = gdk_display_get_n_monitors(display);
    for (int i = 0; i < n; ++i) {
        if (GdkMonitor* monitor = gdk_display_get_monitor(display, i))
            areas.push_back(WorkAreaOf(monitor));
    }
    return areas;
}

bool GtkDesktop::OpenUrlExternally(const std::string& url) {
    if (url.empty()) {
        TVC_LOG_ERROR("%s : refused an empty address", TVC_FN);
        return false;
    }
    glib::GObjectPtr<GdkAppLaunchContext> context;
    if (GdkDisplay* display = gdk_display_get_default())
        context = glib::GObjectPtr<GdkAppLaunchContext>::Adopt(
            gdk_display_get_app_launch_context(display));
    if (context)
        for (const auto& name : glib::OwnVariables())
            g_app_launch_context_unsetenv(G_APP_LAUNCH_CONTEXT(context.get()), name.c_str());
    glib::GErrorOut err;
    if (!g_app_info_launch_default_for_uri(
            url.c_str(), context ? G_APP_LAUNCH_CONTEXT(context.get()) : nullptr, err.out())) {
        TVC_LOG_ERROR("%s : could not open %s: %s", TVC_FN, url.c_str(), err.message());
        return false;
    }
    TVC_LOG_INFO("%s : opened %s", TVC_FN, url.c_str());
    return true;
}

bool GtkDesktop::GetIsSystemShutdownInProgress(bool& inProgress) {
    inProgress = false;
    auto query = std::make_shared<ShutdownQuery>();
    const int timeoutMs = static_cast<int>(m_shutdownQueryTimeout.count());
    // Detached: when the bus hangs the worker finishes (or not) on its own and only drops its
    // reference to `query`; this thread never waits longer than the deadline below.
    std::thread(QueryLogind, query, timeoutMs).detach();
    std::unique_lock<std::mutex> lock(query->mutex);
    if (!query->cv.wait_for(lock, m_shutdownQueryTimeout + std::chrono::milliseconds(100),
                            [&] { return query->done; })) {
        TVC_LOG_WARN("%s : no answer within %d ms", TVC_FN, timeoutMs);
        return false;
    }
    inProgress = query->preparing;
    return query->ok;
}
}  // namespace tvc::platform::gtk

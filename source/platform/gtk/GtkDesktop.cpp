#include "platform/gtk/GtkDesktop.h"

#include <gio/gio.h>
#include <gtk/gtk.h>

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
    if (context) {
        auto* launch = G_APP_LAUNCH_CONTEXT(context.get());
        for (const auto& name : glib::OwnVariables())
            g_app_launch_context_unsetenv(launch, name.c_str());
        for (const auto& [name, user] : glib::OverriddenVariables()) {
            if (user)
                g_app_launch_context_setenv(launch, name.c_str(), user->c_str());
            else
                g_app_launch_context_unsetenv(launch, name.c_str());
        }
    }
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
    if (!m_shutdownWatch || !m_shutdownWatch->IsWatching()) return false;
    inProgress = m_shutdownWatch->IsShutdownStarting();
    return true;
}
}  // namespace tvc::platform::gtk

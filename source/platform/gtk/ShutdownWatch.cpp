#include "platform/gtk/ShutdownWatch.h"

#include "common/LogHelper.h"
#include "glibutil/GObjectPtr.h"

namespace tvc::platform::gtk {

struct CShutdownWatch::State {
    std::function<void()> onShutdown;
    glib::GObjectPtr<GCancellable> cancellable =
        glib::GObjectPtr<GCancellable>::Adopt(g_cancellable_new());
    // A private connection: the shared system-bus object ends the process if the bus goes away.
    glib::GObjectPtr<GDBusConnection> bus;
    guint subscription = 0;
};

namespace {
void OnPrepareForShutdown(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                          GVariant* parameters, gpointer data) {
    auto& onShutdown = *static_cast<std::function<void()>*>(data);
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) return;
    gboolean starting = FALSE;
    g_variant_get(parameters, "(b)", &starting);
    TVC_LOG_WARN("%s : PrepareForShutdown(%d)", "CShutdownWatch", starting ? 1 : 0);
    if (starting && onShutdown) onShutdown();
}
}  // namespace

CShutdownWatch::CShutdownWatch(std::function<void()> onShutdown)
    : m_state(std::make_shared<State>()) {
    m_state->onShutdown = std::move(onShutdown);
    glib::GErrorOut err;
    glib::GCharPtr address(g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, err.out()));
    if (!address) {
        TVC_LOG_WARN("%s : no system bus: %s", "CShutdownWatch", err.message());
        return;
    }
    // Holds the state weakly: a watch destroyed before the bus answers is left alone.
    auto weak = std::make_unique<std::weak_ptr<State>>(m_state);
    g_dbus_connection_new_for_address(
        address.get(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, m_state->cancellable.get(),
        [](GObject*, GAsyncResult* result, gpointer data) {
            std::unique_ptr<std::weak_ptr<State>> weak(static_cast<std::weak_ptr<State>*>(data));
            glib::GErrorOut err;
            auto bus = glib::GObjectPtr<GDBusConnection>::Adopt(
                g_dbus_connection_new_for_address_finish(result, err.out()));
            auto state = weak->lock();
            if (!bus || !state) {
                if (!bus)
                    TVC_LOG_WARN("%s : system bus not reachable: %s", "CShutdownWatch",
                                 err.message());
                return;
            }
            g_dbus_connection_set_exit_on_close(bus.get(), FALSE);
            // Only logind's own signal counts: the bus delivers it from the name's owner alone.
            state->subscription = g_dbus_connection_signal_subscribe(
                bus.get(), "org.freedesktop.login1", "org.freedesktop.login1.Manager",
                "PrepareForShutdown", "/org/freedesktop/login1", nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
                OnPrepareForShutdown, &state->onShutdown, nullptr);
            state->bus = std::move(bus);
            TVC_LOG_INFO("%s : watching logind's PrepareForShutdown", "CShutdownWatch");
        },
        weak.release());  // the callback owns it; it runs even when cancelled
}

CShutdownWatch::~CShutdownWatch() {
    g_cancellable_cancel(m_state->cancellable.get());
    if (m_state->bus) {
        if (m_state->subscription)
            g_dbus_connection_signal_unsubscribe(m_state->bus.get(), m_state->subscription);
        g_dbus_connection_close_sync(m_state->bus.get(), nullptr, nullptr);
    }
}

bool CShutdownWatch::IsWatching() const {
    return m_state->subscription != 0;
}
}  // namespace tvc::platform::gtk

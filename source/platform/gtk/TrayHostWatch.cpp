#include "platform/gtk/TrayHostWatch.h"

#include "common/LogHelper.h"

namespace tvc::platform::gtk {
namespace {
constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";
constexpr const char* kWatcherPath = "/StatusNotifierWatcher";
constexpr const char* kWatcherInterface = "org.kde.StatusNotifierWatcher";
constexpr int kQueryTimeoutMs = 5000;
}  // namespace

CTrayHostWatch::CTrayHostWatch(Listener listener) : m_listener(std::move(listener)) {
    m_nameWatchId =
        g_bus_watch_name(G_BUS_TYPE_SESSION, kWatcherName, G_BUS_NAME_WATCHER_FLAGS_NONE,
                         OnWatcherAppeared, OnWatcherVanished, this, nullptr);
}

CTrayHostWatch::~CTrayHostWatch() {
    // No callback runs after these return; cancelled calls finish without touching this object.
    if (m_nameWatchId) g_bus_unwatch_name(m_nameWatchId);
    Forget();
}

void CTrayHostWatch::Forget() {
    if (m_cancellable) g_cancellable_cancel(m_cancellable.get());
    m_cancellable.reset();
    if (m_bus) {
        if (m_watcherSignalId) g_dbus_connection_signal_unsubscribe(m_bus.get(), m_watcherSignalId);
        if (m_propertiesSignalId)
            g_dbus_connection_signal_unsubscribe(m_bus.get(), m_propertiesSignalId);
    }
    m_watcherSignalId = m_propertiesSignalId = 0;
    m_bus.reset();
    m_watcherOwner.clear();
}

void CTrayHostWatch::OnWatcherAppeared(GDBusConnection* bus, const gchar*, const gchar* owner,
                                       gpointer self) {
    auto* watch = static_cast<CTrayHostWatch*>(self);
    watch->Forget();
    watch->m_bus = glib::GObjectPtr<GDBusConnection>::Ref(bus);
    watch->m_watcherOwner = owner;
    // Hosts come and go while the watcher stays: its signals say when to ask again.
    watch->m_watcherSignalId = g_dbus_connection_signal_subscribe(
        bus, owner, kWatcherInterface, nullptr, kWatcherPath, nullptr, G_DBUS_SIGNAL_FLAGS_NONE,
        OnWatcherSignal, watch, nullptr);
    watch->m_propertiesSignalId = g_dbus_connection_signal_subscribe(
        bus, owner, "org.freedesktop.DBus.Properties", "PropertiesChanged", kWatcherPath,
        kWatcherInterface, G_DBUS_SIGNAL_FLAGS_NONE, OnWatcherSignal, watch, nullptr);
    watch->QueryHost();
}

void CTrayHostWatch::OnWatcherVanished(GDBusConnection*, const gchar*, gpointer self) {
    auto* watch = static_cast<CTrayHostWatch*>(self);
    watch->Forget();
    watch->SetHostPresent(false);
}

void CTrayHostWatch::OnWatcherSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                     const gchar*, GVariant*, gpointer self) {
    static_cast<CTrayHostWatch*>(self)->QueryHost();
}

void CTrayHostWatch::QueryHost() {
    if (!m_bus) return;
    if (m_cancellable) g_cancellable_cancel(m_cancellable.get());  // only the newest answer counts
    m_cancellable = glib::GObjectPtr<GCancellable>::Adopt(g_cancellable_new());
    g_dbus_connection_call(
        m_bus.get(), m_watcherOwner.c_str(), kWatcherPath, "org.freedesktop.DBus.Properties", "Get",
        g_variant_new("(ss)", kWatcherInterface, "IsStatusNotifierHostRegistered"),
        G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NO_AUTO_START, kQueryTimeoutMs,
        m_cancellable.get(), OnHostQueryDone, this);
}

void CTrayHostWatch::OnHostQueryDone(GObject* source, GAsyncResult* result, gpointer self) {
    glib::GErrorOut err;
    glib::GVariantPtr reply(
        g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, err.out()));
    // A cancelled call may belong to an object that is gone: nothing else is read.
    if (!reply && g_error_matches(*err.out(), G_IO_ERROR, G_IO_ERROR_CANCELLED)) return;
    auto* watch = static_cast<CTrayHostWatch*>(self);
    bool present = false;
    if (reply) {
        GVariant* boxed = nullptr;
        g_variant_get(reply.get(), "(v)", &boxed);
        glib::GVariantPtr value(boxed);
        present = value && g_variant_is_of_type(value.get(), G_VARIANT_TYPE_BOOLEAN) &&
                  g_variant_get_boolean(value.get());
    } else {
        TVC_LOG_WARN("%s : the tray watcher did not answer: %s", TVC_FN, err.message());
    }
    watch->SetHostPresent(present);
}

void CTrayHostWatch::SetHostPresent(bool present) {
    if (present == m_hostPresent) return;
    m_hostPresent = present;
    TVC_LOG_WARN("%s : tray host %s", "CTrayHostWatch", present ? "present" : "gone");
    if (m_listener) m_listener(present);
}
}  // namespace tvc::platform::gtk

// Whether a StatusNotifierItem host (a panel that draws tray items) is on the session bus: the
// watcher "org.kde.StatusNotifierWatcher" is there and says a host has registered. Without one a
// window hidden to the tray could not be brought back. Main thread only.
#pragma once

#include <gio/gio.h>

#include <functional>
#include <string>

#include "glibutil/GObjectPtr.h"

namespace tvc::platform::gtk {
class CTrayHostWatch {
  public:
    // Runs on the main thread whenever the answer changes.
    using Listener = std::function<void(bool hostPresent)>;

    // Starts watching at once; until the bus has answered there is no host.
    explicit CTrayHostWatch(Listener listener);
    ~CTrayHostWatch();
    CTrayHostWatch(const CTrayHostWatch&) = delete;
    CTrayHostWatch& operator=(const CTrayHostWatch&) = delete;

    bool IsHostPresent() const { return m_hostPresent; }

  private:
    static void OnWatcherAppeared(GDBusConnection* bus, const gchar* name, const gchar* owner,
                                  gpointer self);
    static void OnWatcherVanished(GDBusConnection* bus, const gchar* name, gpointer self);
    static void OnWatcherSignal(GDBusConnection* bus, const gchar* sender, const gchar* path,
                                const gchar* interface, const gchar* signal, GVariant* parameters,
                                gpointer self);
    static void OnHostQueryDone(GObject* source, GAsyncResult* result, gpointer self);

    void QueryHost();
    void Forget();
    void SetHostPresent(bool present);

    Listener m_listener;
    guint m_nameWatchId = 0;
    glib::GObjectPtr<GDBusConnection> m_bus;
    std::string m_watcherOwner;
    guint m_watcherSignalId = 0;
    guint m_propertiesSignalId = 0;
    // Cancelled when the watcher goes away or this object does: a late answer is never read.
    glib::GObjectPtr<GCancellable> m_cancellable;
    bool m_hostPresent = false;
};
}  // namespace tvc::platform::gtk

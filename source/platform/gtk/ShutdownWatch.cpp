#include "platform/gtk/ShutdownWatch.h"

#include <gio/gunixfdlist.h>
#include <unistd.h>

#include "common/LogHelper.h"
#include "common/Translate.h"
#include "glibutil/GObjectPtr.h"

namespace tvc::platform::gtk {
namespace {
constexpr const char* kLogind = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
constexpr const char* kManager = "org.freedesktop.login1.Manager";
constexpr const char* kWho = "Tavisto for Web";
constexpr const char* kWhy = N_("The open page saves its state before the program ends");
constexpr const char* kFn = "CShutdownWatch";
}  // namespace

struct CShutdownWatch::State {
    ~State() { CloseLock(); }
    void CloseLock() {
        if (lockFd >= 0) ::close(lockFd);
        lockFd = -1;
    }

    std::function<void()> onShutdown;
    glib::GObjectPtr<GCancellable> cancellable =
        glib::GObjectPtr<GCancellable>::Adopt(g_cancellable_new());
    // A private connection: the shared system-bus object ends the process if the bus goes away.
    glib::GObjectPtr<GDBusConnection> bus;
    guint subscription = 0;
    // logind holds a shutdown back while this descriptor is open (and at most its delay).
    int lockFd = -1;
    bool lockReleased = false;
    bool shutdownStarting = false;
};

namespace {
using StatePtr = std::shared_ptr<CShutdownWatch::State>;
using WeakState = std::weak_ptr<CShutdownWatch::State>;

void OnPrepareForShutdown(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*,
                          GVariant* parameters, gpointer data) {
    auto state = static_cast<WeakState*>(data)->lock();
    if (!state || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) return;
    gboolean starting = FALSE;
    g_variant_get(parameters, "(b)", &starting);
    TVC_LOG_WARN("%s : PrepareForShutdown(%d)", kFn, starting ? 1 : 0);
    state->shutdownStarting = starting;
    if (starting && state->onShutdown) state->onShutdown();
}

void OnInhibited(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<WeakState> weak(static_cast<WeakState*>(data));
    glib::GErrorOut err;
    GUnixFDList* fdsRaw = nullptr;
    glib::GVariantPtr reply(g_dbus_connection_call_with_unix_fd_list_finish(
        G_DBUS_CONNECTION(source), &fdsRaw, result, err.out()));
    auto fds = glib::GObjectPtr<GUnixFDList>::Adopt(fdsRaw);
    auto state = weak->lock();
    if (!state) return;  // the watch is gone: the list's own copy closes with it
    if (!reply) {
        TVC_LOG_WARN("%s : logind gave no delay lock: %s", kFn, err.message());
        return;
    }
    gint32 index = -1;
    g_variant_get(reply.get(), "(h)", &index);
    // Duplicated with close-on-exec, so no program we start keeps the shutdown waiting.
    const int fd = fds ? g_unix_fd_list_get(fds.get(), index, err.out()) : -1;
    if (fd < 0) {
        TVC_LOG_WARN("%s : logind's delay lock came without a descriptor: %s", kFn, err.message());
        return;
    }
    if (state->lockReleased) {
        ::close(fd);  // the quit ended before the answer came
        return;
    }
    state->lockFd = fd;
    TVC_LOG_INFO("%s : holding logind's shutdown delay lock", kFn);
}

void OnConnected(GObject*, GAsyncResult* result, gpointer data) {
    std::unique_ptr<WeakState> weak(static_cast<WeakState*>(data));
    glib::GErrorOut err;
    auto bus = glib::GObjectPtr<GDBusConnection>::Adopt(
        g_dbus_connection_new_for_address_finish(result, err.out()));
    auto state = weak->lock();
    if (!bus || !state) {
        if (!bus) TVC_LOG_WARN("%s : system bus not reachable: %s", kFn, err.message());
        return;
    }
    g_dbus_connection_set_exit_on_close(bus.get(), FALSE);
    // Only logind's own signal counts: the bus delivers it from the name's owner alone.
    state->subscription = g_dbus_connection_signal_subscribe(
        bus.get(), kLogind, kManager, "PrepareForShutdown", kLogindPath, nullptr,
        G_DBUS_SIGNAL_FLAGS_NONE, OnPrepareForShutdown,
        std::make_unique<WeakState>(state).release(),
        [](gpointer p) { std::unique_ptr<WeakState>(static_cast<WeakState*>(p)); });
    g_dbus_connection_call_with_unix_fd_list(
        bus.get(), kLogind, kLogindPath, kManager, "Inhibit",
        g_variant_new("(ssss)", "shutdown", kWho, _(kWhy), "delay"), G_VARIANT_TYPE("(h)"),
        G_DBUS_CALL_FLAGS_NONE, -1, nullptr, state->cancellable.get(), OnInhibited,
        std::make_unique<WeakState>(state).release());
    state->bus = std::move(bus);
    TVC_LOG_INFO("%s : watching logind's PrepareForShutdown", kFn);
}
}  // namespace

CShutdownWatch::CShutdownWatch(std::function<void()> onShutdown)
    : m_state(std::make_shared<State>()) {
    m_state->onShutdown = std::move(onShutdown);
    glib::GErrorOut err;
    glib::GCharPtr address(g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SYSTEM, nullptr, err.out()));
    if (!address) {
        TVC_LOG_WARN("%s : no system bus: %s", kFn, err.message());
        return;
    }
    // The callbacks hold the state weakly: a watch destroyed before the bus answers is left alone.
    g_dbus_connection_new_for_address(
        address.get(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, m_state->cancellable.get(), OnConnected,
        std::make_unique<WeakState>(m_state).release());
}

CShutdownWatch::~CShutdownWatch() {
    ReleaseDelayLock();
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

bool CShutdownWatch::IsShutdownStarting() const {
    return m_state->shutdownStarting;
}

void CShutdownWatch::ReleaseDelayLock() {
    if (m_state->lockReleased) return;
    m_state->lockReleased = true;
    if (m_state->lockFd >= 0) TVC_LOG_WARN("%s : releasing logind's shutdown delay lock", kFn);
    m_state->CloseLock();
}
}  // namespace tvc::platform::gtk

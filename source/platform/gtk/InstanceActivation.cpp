#include "platform/gtk/InstanceActivation.h"

#include <gdk/gdkwayland.h>
#include <gdk/gdkx.h>
#include <gio/gunixsocketaddress.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "common/LogHelper.h"
#include "common/TaskRunner.h"
#include "platform/SingleInstance.h"

namespace tvc::platform::gtk {
namespace {
constexpr const char* kLogName = "CInstanceActivationListener";
// How long a peer that sends nothing and keeps its side open is waited for.
constexpr std::chrono::milliseconds kRequestWait{500};
}  // namespace

struct CInstanceActivationListener::Request {
    std::weak_ptr<CInstanceActivationListener*> listener;
    glib::GObjectPtr<GSocketConnection> connection;
    glib::GObjectPtr<GCancellable> cancellable;
    runner::DelayedTask timeout;
    char buffer[platform::kMaxActivationTokenBytes + 1] = {};
};

CInstanceActivationListener::CInstanceActivationListener(const std::string& socketPath,
                                                         OnActivate onActivate)
    : m_path(socketPath), m_onActivate(std::move(onActivate)) {
    ::unlink(m_path.c_str());
    auto address =
        glib::GObjectPtr<GSocketAddress>::Adopt(g_unix_socket_address_new(m_path.c_str()));
    m_service = glib::GObjectPtr<GSocketService>::Adopt(g_socket_service_new());
    glib::GErrorOut err;
    const bool added = g_socket_listener_add_address(
        G_SOCKET_LISTENER(m_service.get()), address.get(), G_SOCKET_TYPE_STREAM,
        G_SOCKET_PROTOCOL_DEFAULT, nullptr, nullptr, err.out());
    if (!added) {
        TVC_LOG_ERROR("%s : cannot listen at %s: %s; a second launch will not raise the window",
                      kLogName, m_path.c_str(), err.message());
        m_service.reset();
        return;
    }
    // Others could not connect anyway (that needs write permission), and are refused by uid.
    ::chmod(m_path.c_str(), 0600);
    g_signal_connect(m_service.get(), "incoming", G_CALLBACK(OnIncoming), this);
    g_socket_service_start(m_service.get());
    m_listening = true;
    TVC_LOG_INFO("%s : listening at %s", kLogName, m_path.c_str());
}

CInstanceActivationListener::~CInstanceActivationListener() {
    if (!m_service) return;
    g_signal_handlers_disconnect_by_data(m_service.get(), this);
    g_socket_service_stop(m_service.get());
    g_socket_listener_close(G_SOCKET_LISTENER(m_service.get()));
    if (m_listening) ::unlink(m_path.c_str());
}

gboolean CInstanceActivationListener::OnIncoming(GSocketService*, GSocketConnection* connection,
                                                 GObject*, gpointer self) {
    auto* listener = static_cast<CInstanceActivationListener*>(self);
    GSocket* socket = g_socket_connection_get_socket(connection);
    glib::GErrorOut err;
    auto credentials =
        glib::GObjectPtr<GCredentials>::Adopt(g_socket_get_credentials(socket, err.out()));
    const uid_t peer =
        credentials ? g_credentials_get_unix_user(credentials.get(), nullptr) : uid_t(-1);
    if (!credentials || peer != ::getuid()) {
        TVC_LOG_ERROR("%s : refused a request from uid %d", kLogName, static_cast<int>(peer));
        return TRUE;  // the connection is closed when the service drops it
    }
    auto request = std::make_unique<Request>();
    request->listener = listener->m_self;
    request->connection = glib::GObjectPtr<GSocketConnection>::Ref(connection);
    request->cancellable = glib::GObjectPtr<GCancellable>::Adopt(g_cancellable_new());
    request->timeout = runner::PostDelayed(kRequestWait, [cancellable = request->cancellable] {
        g_cancellable_cancel(cancellable.get());
    });
    Request* raw = request.release();  // back in OnRequestRead
    g_input_stream_read_all_async(g_io_stream_get_input_stream(G_IO_STREAM(connection)),
                                  raw->buffer, sizeof(raw->buffer), G_PRIORITY_DEFAULT,
                                  raw->cancellable.get(), OnRequestRead, raw);
    return TRUE;
}

void CInstanceActivationListener::OnRequestRead(GObject* stream, GAsyncResult* result,
                                                gpointer data) {
    std::unique_ptr<Request> request(static_cast<Request*>(data));
    request->timeout.Cancel();
    gsize size = 0;
    // Cancelled: an older launch that sends nothing; what came before counts all the same.
    g_input_stream_read_all_finish(G_INPUT_STREAM(stream), result, &size, nullptr);
    std::string token(request->buffer, std::min<gsize>(size, sizeof(request->buffer)));
    if (!platform::IsUsableActivationToken(token)) {
        if (!token.empty())
            TVC_LOG_ERROR(
                "%s : the request's activation token is unusable (%zu bytes); raising "
                "without it",
                kLogName, token.size());
        token.clear();
    }
    auto listener = request->listener.lock();
    if (!listener) return;
    TVC_LOG_WARN("%s : another launch asks to bring the window to the front (%s)", kLogName,
                 token.empty() ? "no activation token" : "with its activation token");
    if ((*listener)->m_onActivate) (*listener)->m_onActivate(token);
    const char ack = '1';
    g_socket_send(g_socket_connection_get_socket(request->connection.get()), &ack, 1, nullptr,
                  nullptr);
}

void SetLaunchStartupId(const std::string& token) {
    GdkDisplay* display = gdk_display_get_default();
    if (display && GDK_IS_WAYLAND_DISPLAY(display))
        gdk_wayland_display_set_startup_notification_id(display, token.c_str());
    else if (display && GDK_IS_X11_DISPLAY(display))
        gdk_x11_display_set_startup_notification_id(display, token.c_str());
}
}  // namespace tvc::platform::gtk

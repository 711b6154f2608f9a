#include "platform/gtk/InstanceActivation.h"

#include <gio/gunixsocketaddress.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/LogHelper.h"

namespace tvc::platform::gtk {
namespace {
constexpr const char* kLogName = "CInstanceActivationListener";
}

CInstanceActivationListener::CInstanceActivationListener(const std::string& socketPath,
                                                         std::function<void()> onActivate)
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
    TVC_LOG_WARN("%s : another launch asks to bring the window to the front", kLogName);
    if (listener->m_onActivate) listener->m_onActivate();
    const char ack = '1';
    g_socket_send(socket, &ack, 1, nullptr, nullptr);
    return TRUE;
}
}  // namespace tvc::platform::gtk

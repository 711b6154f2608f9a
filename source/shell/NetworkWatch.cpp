#include "shell/NetworkWatch.h"

#include <utility>

namespace tvc::shell {
CNetworkWatch::CNetworkWatch(std::function<void(bool)> onChange) : m_onChange(std::move(onChange)) {
    GNetworkMonitor* monitor = g_network_monitor_get_default();
    if (monitor)
        m_signal = glib::ScopedSignal(
            monitor,
            g_signal_connect(monitor, "network-changed", G_CALLBACK(OnNetworkChanged), this));
}

void CNetworkWatch::OnNetworkChanged(GNetworkMonitor*, gboolean available, gpointer self) {
    static_cast<CNetworkWatch*>(self)->m_onChange(available != FALSE);
}
}  // namespace tvc::shell

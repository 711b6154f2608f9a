// Tells when the network comes up or changes, through GIO's network monitor. Main thread only.
#pragma once

#include <gio/gio.h>

#include <functional>

#include "glibutil/GObjectPtr.h"

namespace tvc::shell {
class CNetworkWatch {
  public:
    // `onChange` gets whether a network is available after each change.
    explicit CNetworkWatch(std::function<void(bool available)> onChange);
    CNetworkWatch(const CNetworkWatch&) = delete;
    CNetworkWatch& operator=(const CNetworkWatch&) = delete;

  private:
    static void OnNetworkChanged(GNetworkMonitor*, gboolean available, gpointer self);

    std::function<void(bool)> m_onChange;
    glib::ScopedSignal m_signal;  // the monitor is the process's own and outlives us
};
}  // namespace tvc::shell

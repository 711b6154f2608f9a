// The running instance's end of "bring yourself to the front": a Unix socket beside the instance
// lock. A second launch connects, the first raises its window and answers one byte. Only peers of
// this user are heard; connecting is all a peer can do, and all it achieves is the raise.
// Main thread only.
#pragma once

#include <gio/gio.h>

#include <functional>
#include <string>

#include "glibutil/GObjectPtr.h"

namespace tvc::platform::gtk {
class CInstanceActivationListener {
  public:
    // Listens at once (a stale socket file left by a crashed run is replaced; only the lock owner
    // may do this). `onActivate` runs on the main thread for each accepted request.
    CInstanceActivationListener(const std::string& socketPath, std::function<void()> onActivate);
    ~CInstanceActivationListener();
    CInstanceActivationListener(const CInstanceActivationListener&) = delete;
    CInstanceActivationListener& operator=(const CInstanceActivationListener&) = delete;

    bool IsListening() const { return m_listening; }

  private:
    static gboolean OnIncoming(GSocketService* service, GSocketConnection* connection,
                               GObject* source, gpointer self);

    std::string m_path;
    std::function<void()> m_onActivate;
    glib::GObjectPtr<GSocketService> m_service;
    bool m_listening = false;
};
}  // namespace tvc::platform::gtk

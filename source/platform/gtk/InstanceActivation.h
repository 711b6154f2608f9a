// The running instance's end of "bring yourself to the front": a Unix socket beside the instance
// lock. A second launch connects, sends its launcher's activation token (or nothing) and ends its
// side; the first raises its window with that token and answers one byte. A peer that sends
// nothing and keeps its side open (an older launch) is served without a token after a moment.
// Only peers of this user are heard; all a peer achieves is the raise.
// Main thread only.
#pragma once

#include <gio/gio.h>

#include <functional>
#include <memory>
#include <string>

#include "glibutil/GObjectPtr.h"

namespace tvc::platform::gtk {
class CInstanceActivationListener {
  public:
    // Listens at once (a stale socket file left by a crashed run is replaced; only the lock owner
    // may do this). `onActivate` runs on the main thread for each accepted request, with the
    // request's activation token (empty when it had none).
    using OnActivate = std::function<void(const std::string& activationToken)>;
    CInstanceActivationListener(const std::string& socketPath, OnActivate onActivate);
    ~CInstanceActivationListener();
    CInstanceActivationListener(const CInstanceActivationListener&) = delete;
    CInstanceActivationListener& operator=(const CInstanceActivationListener&) = delete;

    bool IsListening() const { return m_listening; }

  private:
    struct Request;
    static gboolean OnIncoming(GSocketService* service, GSocketConnection* connection,
                               GObject* source, gpointer self);
    static void OnRequestRead(GObject* stream, GAsyncResult* result, gpointer request);

    std::string m_path;
    OnActivate m_onActivate;
    // What requests being read hold: the listener is gone once they cannot lock it.
    const std::shared_ptr<CInstanceActivationListener*> m_self =
        std::make_shared<CInstanceActivationListener*>(this);
    glib::GObjectPtr<GSocketService> m_service;
    bool m_listening = false;
};

// Gives the default display this process's own launch token, for its first window's first show.
void SetLaunchStartupId(const std::string& token);
}  // namespace tvc::platform::gtk

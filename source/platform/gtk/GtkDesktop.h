// IDesktop over GDK's monitors, GIO's default handlers and logind. Main thread (the shutdown
// query waits for a worker thread of its own, with a deadline).
#pragma once

#include <chrono>

#include "platform/AppWindow.h"

namespace tvc::platform::gtk {
class GtkDesktop final : public IDesktop {
  public:
    // The primary monitor's work area (monitor 0 when none is marked primary); empty without a
    // display.
    Rect GetMaximizedArea() const override;
    std::vector<Rect> GetWorkAreas() const override;
    // Refuses an empty address. Which schemes are allowed is the caller's decision.
    bool OpenUrlExternally(const std::string& url) override;
    // logind's "PreparingForShutdown"; false (and `inProgress` false) when the system bus or
    // logind does not answer within the time-out.
    bool GetIsSystemShutdownInProgress(bool& inProgress) override;

    void SetShutdownQueryTimeout(std::chrono::milliseconds timeout) {
        m_shutdownQueryTimeout = timeout;
    }

  private:
    std::chrono::milliseconds m_shutdownQueryTimeout{500};
};
}  // namespace tvc::platform::gtk

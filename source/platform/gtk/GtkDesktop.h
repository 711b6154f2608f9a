// IDesktop over GDK's monitors, GIO's default handlers and logind. Main thread.
#pragma once

#include <memory>

#include "platform/AppWindow.h"
#include "platform/gtk/ShutdownWatch.h"

namespace tvc::platform::gtk {
class GtkDesktop final : public IDesktop {
  public:
    // The primary monitor's work area (monitor 0 when none is marked primary); empty without a
    // display.
    Rect GetMaximizedArea() const override;
    std::vector<Rect> GetWorkAreas() const override;
    // Refuses an empty address. Which schemes are allowed is the caller's decision.
    bool OpenUrlExternally(const std::string& url) override;
    // What logind last told the shutdown watch; false (and `inProgress` false) without a watch
    // on the system bus. Never waits.
    bool GetIsSystemShutdownInProgress(bool& inProgress) override;

    void SetShutdownWatch(std::shared_ptr<const CShutdownWatch> watch) {
        m_shutdownWatch = std::move(watch);
    }

  private:
    std::shared_ptr<const CShutdownWatch> m_shutdownWatch;
};
}  // namespace tvc::platform::gtk

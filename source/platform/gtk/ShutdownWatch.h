// Watches logind for the system's shutdown, which quits the program the ordinary way.
#pragma once

#include <gio/gio.h>

#include <functional>
#include <memory>

namespace tvc::platform::gtk {

// Main thread. Connects to the system bus in the background; without a bus or logind it only
// logs. `onShutdown` runs on the main thread, once per "PrepareForShutdown(true)".
class CShutdownWatch {
  public:
    explicit CShutdownWatch(std::function<void()> onShutdown);
    ~CShutdownWatch();
    CShutdownWatch(const CShutdownWatch&) = delete;
    CShutdownWatch& operator=(const CShutdownWatch&) = delete;

    // True once the signal subscription is in place (tests wait for it).
    bool IsWatching() const;

  private:
    struct State;
    std::shared_ptr<State> m_state;
};
}  // namespace tvc::platform::gtk

// The program's one path to logind: a shutdown quits the program the ordinary way, and a delay
// lock holds the shutdown back until that quit has ended.
#pragma once

#include <gio/gio.h>

#include <functional>
#include <memory>

namespace tvc::platform::gtk {

// Main thread; every bus call is asynchronous on the main loop. Without a system bus or logind it
// only logs. `onShutdown` runs on the main thread, once per "PrepareForShutdown(true)".
class CShutdownWatch {
  public:
    explicit CShutdownWatch(std::function<void()> onShutdown);
    // Releases the delay lock, if it is still held.
    ~CShutdownWatch();
    CShutdownWatch(const CShutdownWatch&) = delete;
    CShutdownWatch& operator=(const CShutdownWatch&) = delete;

    // True once the signal subscription is in place (tests wait for it).
    bool IsWatching() const;
    // What logind last said: a shutdown is under way. False when it has not said so, or cannot.
    bool IsShutdownStarting() const;
    // The quit is over: logind may go on. Later shutdowns are not held back again.
    void ReleaseDelayLock();

    struct State;  // shared with the bus callbacks, which hold it weakly

  private:
    std::shared_ptr<State> m_state;
};
}  // namespace tvc::platform::gtk

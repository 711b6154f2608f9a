// How work from another thread reaches the main thread (the one running the GLib main loop).
#pragma once

#include <functional>

namespace tvc {
// Runs each task on the main thread, in the order given; callable from any thread.
using MainThreadPoster = std::function<void(std::function<void()>)>;
}  // namespace tvc

// Handing work to the browser process's main thread (the GLib default main context).
#pragma once

#include <gtk/gtk.h>

#include <chrono>
#include <functional>

namespace tvc::shell {
// Any thread. Tasks run on the main thread in the order they were posted.
void PostToMainThread(std::function<void()> task);
// Any thread. Runs `task` on the main thread once `delay` has passed.
void PostToMainThreadAfter(std::chrono::milliseconds delay, std::function<void()> task);
// Main thread: runs `task` once `widget` has drawn its next frame.
void PostAfterNextFrame(GtkWidget* widget, std::function<void()> task);
}  // namespace tvc::shell

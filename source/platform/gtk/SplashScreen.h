// The splash panel: a drawing area laid over the web view in the main window's GtkOverlay.
// Main thread only.
#pragma once

#include <gtk/gtk.h>

#include <memory>

#include "platform/Splash.h"

namespace tvc::platform::gtk {
// Decodes the splash picture once and adds the (hidden) panel to `overlay`; the panel covers the
// overlay's main child and follows its size. Null when `overlay` is null.
std::shared_ptr<ISplashScreen> CreateSplashScreen(GtkOverlay* overlay);
}  // namespace tvc::platform::gtk

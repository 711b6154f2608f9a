// The packed minimum size (platform/MinimumSize.h) kept on the GtkWindow and applied as its
// geometry hints, which is what stands in for WM_GETMINMAXINFO. Main thread.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>

#include "platform/MinimumSize.h"

namespace tvc::platform::gtk {
void SetWindowMinimumSizeData(GtkWidget* window, std::uint32_t packed);
// 0 when nothing was stored.
std::uint32_t GetWindowMinimumSizeData(GtkWidget* window);
// Applies the stored minimum as the window's minimum-size hint (of its content area).
void ApplyMinimumSize(GtkWidget* window);
}  // namespace tvc::platform::gtk

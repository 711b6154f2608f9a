// The main window's placement in the preferences file.
#pragma once

#include "platform/AppWindow.h"

namespace tvc::shell {
inline constexpr const char* kWindowPosSection = "windowpos";

// Writes section "windowpos", keys "x", "y", "width", "height" (in that order) as decimal text.
void SaveWindowPosition(int x, int y, int width, int height);
// Reads the four keys and applies the restore rules with `desktop`'s work areas.
void RestoreWindowPosition(const platform::IDesktop& desktop, int& x, int& y, int& width,
                           int& height);
}  // namespace tvc::shell

// The one top-level window: created hidden, holds the web view over its whole client area.
#pragma once

#include <gtk/gtk.h>

#include <cstdint>

namespace tvc::shell {
inline constexpr const char* kWindowClassName = "CEFCLIENT";

// The minimum size travels packed as the window's user data: width high, height low 16 bits.
inline constexpr std::uint32_t PackMinimumSize(int width, int height) {
    return (static_cast<std::uint32_t>(width & 0xFFFF) << 16) | static_cast<std::uint32_t>(height & 0xFFFF);
}
inline constexpr int UnpackMinimumWidth(std::uint32_t packed) { return static_cast<std::int16_t>(packed >> 16); }
inline constexpr int UnpackMinimumHeight(std::uint32_t packed) {
    return static_cast<std::int16_t>(packed & 0xFFFF);
}

// Main thread. Null when the window cannot be created.
GtkWidget* CreateMainWindow(const char* title);
void SetWindowMinimumSizeData(GtkWidget* window, std::uint32_t packed);
std::uint32_t GetWindowMinimumSizeData(GtkWidget* window);
// Applies the packed minimum as the window's geometry hints.
void ApplyMinimumSize(GtkWidget* window);
}  // namespace tvc::shell

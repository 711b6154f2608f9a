// The main window's minimum size travels as one 32-bit value: width in the high 16 bits,
// height in the low 16 bits, each read back as a signed 16-bit number.
#pragma once

#include <cstdint>

namespace tvc::platform {
// What a new window allows before the page sets its own minimum.
inline constexpr int kInitialMinimumWidth = 400;
inline constexpr int kInitialMinimumHeight = 300;

inline constexpr std::uint32_t PackMinimumSize(int width, int height) {
    return (static_cast<std::uint32_t>(width & 0xFFFF) << 16) |
           static_cast<std::uint32_t>(height & 0xFFFF);
}
inline constexpr int UnpackMinimumWidth(std::uint32_t packed) {
    return static_cast<std::int16_t>(packed >> 16);
}
inline constexpr int UnpackMinimumHeight(std::uint32_t packed) {
    return static_cast<std::int16_t>(packed & 0xFFFF);
}
}  // namespace tvc::platform

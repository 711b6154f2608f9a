#pragma once
#include <ostream>

#include "platform/AppWindow.h"

namespace tvc::platform {
// Readable failure messages for Rect comparisons.
inline void PrintTo(const Rect& r, std::ostream* os) {
    *os << r.x << "," << r.y << " " << r.width << "x" << r.height;
}
}  // namespace tvc::platform

#include "shell/WindowPlacement.h"

#include <string>

#include "common/AppProps.h"
#include "common/LogHelper.h"
#include "platform/MinimumSize.h"
#include "platform/Placement.h"

namespace tvc::shell {
using platform::ParsePlacementValue;
using platform::Rect;

void SaveWindowPosition(int x, int y, int width, int height) {
    // One replacement of the file: a placement is never stored half old, half new.
    CAppProps::WriteProperties(kWindowPosSection, {{"x", std::to_string(x)},
                                                   {"y", std::to_string(y)},
                                                   {"width", std::to_string(width)},
                                                   {"height", std::to_string(height)}});
}

void RestoreWindowPosition(const platform::IDesktop& desktop, int& x, int& y, int& width,
                           int& height) {
    const auto values = CAppProps::ReadProperties(kWindowPosSection, {"x", "y", "width", "height"});
    const Rect stored{ParsePlacementValue(values[0]), ParsePlacementValue(values[1]),
                      ParsePlacementValue(values[2]), ParsePlacementValue(values[3])};
    const Rect r = platform::ComputeRestoredPlacement(
        stored, desktop.GetMaximizedArea(), desktop.GetWorkAreas(), platform::kInitialMinimumWidth,
        platform::kInitialMinimumHeight);
    TVC_LOG_INFO("RestoreWindowPosition : stored %d,%d %dx%d -> %d,%d %dx%d", stored.x, stored.y,
                 stored.width, stored.height, r.x, r.y, r.width, r.height);
    x = r.x;
    y = r.y;
    width = r.width;
    height = r.height;
}
}  // namespace tvc::shell

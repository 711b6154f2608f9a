#include "shell/WindowPlacement.h"

#include <string>

#include "common/AppProps.h"
#include "common/LogHelper.h"
#include "platform/Placement.h"

namespace tvc::shell {
using platform::ParsePlacementValue;
using platform::Rect;

void SaveWindowPosition(int x, int y, int width, int height) {
    CAppProps::WriteProperty(kWindowPosSection, "x", std::to_string(x));
    CAppProps::WriteProperty(kWindowPosSection, "y", std::to_string(y));
    CAppProps::WriteProperty(kWindowPosSection, "width", std::to_string(width));
    CAppProps::WriteProperty(kWindowPosSection, "height", std::to_string(height));
}

void RestoreWindowPosition(const platform::IDesktop& desktop, int& x, int& y, int& width,
                           int& height) {
    const Rect stored{ParsePlacementValue(CAppProps::ReadProperty(kWindowPosSection, "x")),
                      ParsePlacementValue(CAppProps::ReadProperty(kWindowPosSection, "y")),
                      ParsePlacementValue(CAppProps::ReadProperty(kWindowPosSection, "width")),
                      ParsePlacementValue(CAppProps::ReadProperty(kWindowPosSection, "height"))};
    const Rect r = platform::ComputeRestoredPlacement(stored, desktop.GetMaximizedArea(),
                                                      desktop.GetWorkAreas());
    TVC_LOG_INFO("RestoreWindowPosition : stored %d,%d %dx%d -> %d,%d %dx%d", stored.x, stored.y,
                 stored.width, stored.height, r.x, r.y, r.width, r.height);
    x = r.x;
    y = r.y;
    width = r.width;
    height = r.height;
}
}  // namespace tvc::shell

#include "platform/Placement.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>
#include <utility>

namespace tvc::platform {
namespace {
// Sums in 64 bits: stored values are user-editable text and may be anywhere in int's range.
using Wide = std::int64_t;

int ClampToInt(Wide v) {
    return static_cast<int>(
        std::clamp<Wide>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

bool CornerOnArea(const Rect& r, const Rect& area) {
    const Wide right = Wide{r.x} + r.width;
    const Wide bottom = Wide{r.y} + r.height;
    return right >= area.x && right <= Wide{area.x} + area.width && bottom >= area.y &&
           bottom <= Wide{area.y} + area.height;
}
}  // namespace

int ParsePlacementValue(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    Wide value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > Wide{std::numeric_limits<int>::max()} + 1) break;  // already out of range
    }
    return ClampToInt(negative ? -value : value);
}

Rect FitToWorkArea(const Rect& r, const Rect& area, int minWidth, int minHeight) {
    if (area.width <= 0 || area.height <= 0) return r;
    // One axis: the size shrinks to the area (not below the minimum), then the start moves in so
    // the far edge is inside, and the near edge wins when the size is larger than the area.
    auto fit = [](int pos, int size, int origin, int extent, int minimum) {
        const Wide fitted = std::max<Wide>(std::min<Wide>(size, extent), minimum);
        Wide start = std::min<Wide>(pos, Wide{origin} + extent - fitted);
        start = std::max<Wide>(start, origin);
        return std::pair{ClampToInt(start), ClampToInt(fitted)};
    };
    const auto [x, width] = fit(r.x, r.width, area.x, area.width, minWidth);
    const auto [y, height] = fit(r.y, r.height, area.y, area.height, minHeight);
    return {x, y, width, height};
}

Rect ComputeRestoredPlacement(const Rect& stored, const Rect& primaryArea,
                              const std::vector<Rect>& workAreas, int minWidth, int minHeight) {
    const auto home = std::find_if(workAreas.begin(), workAreas.end(),
                                   [&](const Rect& area) { return CornerOnArea(stored, area); });
    if (home == workAreas.end() || stored.width == 0 || stored.height == 0) {
        // Centred after fitting, so a screen smaller than the default still gets it centred.
        Rect r =
            FitToWorkArea({primaryArea.x, primaryArea.y, kDefaultWindowWidth, kDefaultWindowHeight},
                          primaryArea, minWidth, minHeight);
        r.x = ClampToInt(Wide{primaryArea.x} + (Wide{primaryArea.width} - r.width) / 2);
        r.y = ClampToInt(Wide{primaryArea.y} + (Wide{primaryArea.height} - r.height) / 2);
        return FitToWorkArea(r, primaryArea, minWidth, minHeight);  // a minimum beyond the area
    }
    Rect r = stored;
    r.width = std::max(r.width, kDefaultWindowWidth);
    r.height = std::max(r.height, kDefaultWindowHeight);
    return FitToWorkArea(r, *home, minWidth, minHeight);
}

}  // namespace tvc::platform

#include "platform/Placement.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>

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

Rect ComputeRestoredPlacement(const Rect& stored, const Rect& primaryArea,
                              const std::vector<Rect>& workAreas) {
    Rect r = stored;
    const bool onSomeArea = std::any_of(workAreas.begin(), workAreas.end(), [&](const Rect& area) {
        return CornerOnArea(stored, area);
    });
    if (!onSomeArea || stored.width == 0 || stored.height == 0) {
        r.x = primaryArea.x + (primaryArea.width - kDefaultWindowWidth) / 2;
        r.y = primaryArea.y + (primaryArea.height - kDefaultWindowHeight) / 2;
        r.width = kDefaultWindowWidth;
        r.height = kDefaultWindowHeight;
    }
    r.width = std::max(r.width, kDefaultWindowWidth);
    r.height = std::max(r.height, kDefaultWindowHeight);
    return r;
}

}  // namespace tvc::platform

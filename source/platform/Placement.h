// Where the main window goes: the stored placement and the rules that keep it usable.
// Pure rules over rectangles; the preferences file is read and written by the shell.
#pragma once

#include <string>
#include <vector>

#include "platform/AppWindow.h"

namespace tvc::platform {

inline constexpr int kDefaultWindowWidth = 1220;
inline constexpr int kDefaultWindowHeight = 700;

// A preferences value as a decimal int: leading blanks, an optional sign, the leading digits;
// anything else (and an empty value) gives 0. Out-of-range values are clamped to int.
int ParsePlacementValue(const std::string& text);

// `r` shrunk to `area` and moved inside it, never below `minWidth` x `minHeight`: a minimum larger
// than the area keeps the top-left corner (and with it the title bar) in the area. An empty area
// (none known) leaves `r` as it is.
Rect FitToWorkArea(const Rect& r, const Rect& area, int minWidth, int minHeight);

// The restore rules: a stored placement whose bottom-right corner lies on one of `workAreas` and
// whose sizes are not 0 is kept; otherwise it becomes 1220 x 700 centred on `primaryArea`.
// Either way it grows to at least 1220 x 700, then fits the work area it is on (`primaryArea` for
// the default), down to `minWidth` x `minHeight`.
Rect ComputeRestoredPlacement(const Rect& stored, const Rect& primaryArea,
                              const std::vector<Rect>& workAreas, int minWidth, int minHeight);
}  // namespace tvc::platform

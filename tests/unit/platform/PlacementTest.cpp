#include <gtest/gtest.h>

#include <climits>

#include "RectPrinter.h"
#include "platform/MinimumSize.h"
#include "platform/Placement.h"

using tvc::platform::FitToWorkArea;
using tvc::platform::ParsePlacementValue;
using tvc::platform::Rect;

namespace {
const Rect kFullHd{0, 0, 1920, 1080};
const Rect kCentredDefault{350, 190, 1220, 700};

Rect ComputeRestoredPlacement(const Rect& stored, const Rect& primary,
                              const std::vector<Rect>& areas) {
    return tvc::platform::ComputeRestoredPlacement(stored, primary, areas, 400, 300);
}

TEST(PlacementRules, OffTheOnlyMonitorGivesCentredDefault) {
    EXPECT_EQ(ComputeRestoredPlacement({3000, 10, 1220, 700}, kFullHd, {kFullHd}), kCentredDefault);
    EXPECT_EQ(ComputeRestoredPlacement({-2000, 10, 1220, 700}, kFullHd, {kFullHd}),
              kCentredDefault);
    EXPECT_EQ(ComputeRestoredPlacement({10, -900, 1220, 700}, kFullHd, {kFullHd}), kCentredDefault);
    EXPECT_EQ(ComputeRestoredPlacement({10, 500, 1220, 700}, kFullHd, {kFullHd}), kCentredDefault);
}

TEST(PlacementRules, ZeroSizeGivesCentredDefault) {
    EXPECT_EQ(ComputeRestoredPlacement({100, 100, 0, 700}, kFullHd, {kFullHd}), kCentredDefault);
    EXPECT_EQ(ComputeRestoredPlacement({100, 100, 1300, 0}, kFullHd, {kFullHd}), kCentredDefault);
    EXPECT_EQ(ComputeRestoredPlacement({0, 0, 0, 0}, kFullHd, {kFullHd}), kCentredDefault);
}

TEST(PlacementRules, SmallStoredSizeGrowsAtStoredCorner) {
    EXPECT_EQ(ComputeRestoredPlacement({100, 50, 800, 600}, kFullHd, {kFullHd}),
              (Rect{100, 50, 1220, 700}));
    EXPECT_EQ(ComputeRestoredPlacement({100, 50, 1400, 600}, kFullHd, {kFullHd}),
              (Rect{100, 50, 1400, 700}));
}

TEST(PlacementRules, UsablePlacementIsKeptExactly) {
    EXPECT_EQ(ComputeRestoredPlacement({20, 30, 1300, 800}, kFullHd, {kFullHd}),
              (Rect{20, 30, 1300, 800}));
    // The corner exactly on the area's edge still counts as on it.
    EXPECT_EQ(ComputeRestoredPlacement({700, 380, 1220, 700}, kFullHd, {kFullHd}),
              (Rect{700, 380, 1220, 700}));
}

TEST(PlacementRules, SecondMonitorPlacementIsKeptAndDefaultUsesPrimary) {
    const Rect right{1920, 0, 2560, 1440};
    EXPECT_EQ(ComputeRestoredPlacement({2200, 100, 1300, 900}, kFullHd, {kFullHd, right}),
              (Rect{2200, 100, 1300, 900}));
    // Beyond both monitors: centred on the primary one, not on the second.
    EXPECT_EQ(ComputeRestoredPlacement({5000, 100, 1300, 900}, kFullHd, {kFullHd, right}),
              kCentredDefault);
    // A primary work area that does not start at 0 (a top panel) centres within it.
    const Rect panelled{0, 32, 1920, 1048};
    EXPECT_EQ(ComputeRestoredPlacement({5000, 0, 1, 1}, panelled, {panelled}),
              (Rect{350, 32 + 174, 1220, 700}));
}

TEST(PlacementRules, HugeValuesDoNotOverflow) {
    EXPECT_EQ(ComputeRestoredPlacement({INT_MAX, INT_MAX, INT_MAX, INT_MAX}, kFullHd, {kFullHd}),
              kCentredDefault);
    EXPECT_EQ(ComputeRestoredPlacement({INT_MIN, INT_MIN, 1220, 700}, kFullHd, {kFullHd}),
              kCentredDefault);
}

TEST(PlacementRules, FitsTheWorkAreaItIsOn) {
    const Rect small{0, 0, 1024, 768}, right{1920, 0, 1024, 768};
    const Rect scaled{0, 0, 960, 540};  // full HD at scale 2
    const Rect panelled{0, 30, 1024, 738}, tiny{0, 0, 320, 240};
    const struct {
        Rect stored, primary;
        std::vector<Rect> areas;
        Rect expected;
    } cases[] = {
        {{}, small, {small}, {0, 34, 1024, 700}},  // the default, centred after shrinking
        {{}, scaled, {scaled}, scaled},
        {{}, panelled, {panelled}, {0, 49, 1024, 700}},
        {{0, 0, 1000, 760}, small, {small}, {0, 0, 1024, 760}},             // grown, then shrunk
        {{900, 400, 100, 100}, kFullHd, {kFullHd}, {700, 380, 1220, 700}},  // grown past the edge
        {{2000, 100, 900, 600}, kFullHd, {kFullHd, right}, {1920, 68, 1024, 700}},  // its monitor
        {{}, tiny, {tiny}, {0, 0, 400, 300}},  // the minimum wins, top-left on screen
    };
    for (const auto& c : cases)
        EXPECT_EQ(ComputeRestoredPlacement(c.stored, c.primary, c.areas), c.expected)
            << c.stored.x << "," << c.stored.y << " on " << c.primary.width;
}

TEST(PlacementFit, ShrinksThenMovesInside) {
    const Rect area{100, 50, 800, 600};
    const struct {
        Rect in;
        int minWidth, minHeight;
        Rect expected;
    } cases[] = {
        {{150, 60, 400, 300}, 0, 0, {150, 60, 400, 300}},     // inside: untouched
        {{-500, -500, 400, 300}, 0, 0, {100, 50, 400, 300}},  // above-left: moved in
        {{800, 600, 400, 300}, 0, 0, {500, 350, 400, 300}},   // below-right: moved in
        {{0, 0, 2000, 2000}, 0, 0, {100, 50, 800, 600}},      // larger: fills the area
        {{0, 0, 2000, 2000}, 900, 700, {100, 50, 900, 700}},  // minimum beyond the area
        {{INT_MAX, INT_MIN, INT_MAX, INT_MAX}, 0, 0, area},   // no overflow
    };
    for (const auto& c : cases)
        EXPECT_EQ(FitToWorkArea(c.in, area, c.minWidth, c.minHeight), c.expected);
    EXPECT_EQ(FitToWorkArea({5, 6, 7, 8}, {}, 0, 0), (Rect{5, 6, 7, 8}));  // no area known
}

TEST(PlacementValueText, LeadingDecimalDigitsElseZero) {
    EXPECT_EQ(ParsePlacementValue(""), 0);
    EXPECT_EQ(ParsePlacementValue("garbage"), 0);
    EXPECT_EQ(ParsePlacementValue("0x40"), 0);
    EXPECT_EQ(ParsePlacementValue("12px"), 12);
    EXPECT_EQ(ParsePlacementValue("  -35"), -35);
    EXPECT_EQ(ParsePlacementValue("+7"), 7);
    EXPECT_EQ(ParsePlacementValue("-"), 0);
    EXPECT_EQ(ParsePlacementValue("99999999999999999999"), INT_MAX);
    EXPECT_EQ(ParsePlacementValue("-99999999999999999999"), INT_MIN);
}

TEST(MinimumSizePacking, SignedSixteenBitHalves) {
    constexpr auto p = tvc::platform::PackMinimumSize(400, 300);
    static_assert(p == ((400u << 16) | 300u));
    EXPECT_EQ(tvc::platform::UnpackMinimumWidth(p), 400);
    EXPECT_EQ(tvc::platform::UnpackMinimumHeight(p), 300);
    const auto neg = tvc::platform::PackMinimumSize(-1, 70000);  // 70000 wraps to 4464
    EXPECT_EQ(tvc::platform::UnpackMinimumWidth(neg), -1);
    EXPECT_EQ(tvc::platform::UnpackMinimumHeight(neg), 4464);
}
}  // namespace

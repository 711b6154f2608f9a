#include <gtest/gtest.h>

#include <climits>

#include "RectPrinter.h"
#include "platform/MinimumSize.h"
#include "platform/Placement.h"

using tvc::platform::ComputeRestoredPlacement;
using tvc::platform::ParsePlacementValue;
using tvc::platform::Rect;

namespace {
const Rect kFullHd{0, 0, 1920, 1080};
const Rect kCentredDefault{350, 190, 1220, 700};

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

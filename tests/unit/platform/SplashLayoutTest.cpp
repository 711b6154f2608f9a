#include <gtest/gtest.h>

#include "RectPrinter.h"
#include "platform/SplashLayout.h"

using tvc::platform::ComputeSplashLayout;
using tvc::platform::Rect;

namespace {
TEST(SplashLayout, PictureAndBarOnATypicalWindow) {
    // 1220 x 700 client, 360 x 120 picture: a = (700 - 120) / 4 = 145.
    const auto l = ComputeSplashLayout(1220, 700, 360, 120);
    EXPECT_EQ(l.picture, (Rect{422, 157, 360, 120}));  // (1220-360)/2-8, 145+12
    EXPECT_EQ(l.bar, (Rect{304, 329, 600, 4}));        // BW=600, (1220-600)/2-6, 145+120+64
}

TEST(SplashLayout, WithoutPictureBarSitsAtQuarterHeightPlus64) {
    const auto l = ComputeSplashLayout(1000, 600, 0, 0);
    EXPECT_EQ(l.picture, (Rect{492, 162, 0, 0}));
    EXPECT_EQ(l.bar, (Rect{249, 150 + 64, 490, 4}));
}

TEST(SplashLayout, OddSizesUseIntegerDivisionTowardZero) {
    // a = (301 - 120) / 4 = 45; BW = 401/2 - 10 = 190; bar x = (401-190)/2 - 6 = 99.
    const auto l = ComputeSplashLayout(401, 301, 360, 120);
    EXPECT_EQ(l.picture, (Rect{12, 57, 360, 120}));
    EXPECT_EQ(l.bar, (Rect{99, 229, 190, 4}));
    // A splash lower than the picture: a is negative and rounds toward zero ((50-120)/4 = -17).
    const auto tiny = ComputeSplashLayout(10, 50, 360, 120);
    EXPECT_EQ(tiny.picture.y, -5);
    EXPECT_EQ(tiny.bar.width, -5);
}
}  // namespace

// Where the splash picture and its bar go inside a splash of a given size.
#pragma once

#include "platform/AppWindow.h"

namespace tvc::platform {
struct SplashLayout {
    Rect picture;  // width/height are the picture's own
    Rect bar;      // width may come out negative on a tiny splash: draw nothing then
};

inline constexpr int kSplashBarHeight = 4;

// Integer arithmetic throughout; without a picture pass 0 x 0.
constexpr SplashLayout ComputeSplashLayout(int clientWidth, int clientHeight, int pictureWidth,
                                           int pictureHeight) {
    const int a = (clientHeight - pictureHeight) / 4;
    SplashLayout l;
    l.picture = {(clientWidth - pictureWidth) / 2 - 8, a + 12, pictureWidth, pictureHeight};
    const int barWidth = clientWidth / 2 - 10;
    l.bar = {(clientWidth - barWidth) / 2 - 6, a + pictureHeight + 64, barWidth, kSplashBarHeight};
    return l;
}
}  // namespace tvc::platform

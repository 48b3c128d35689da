#include "platform/units.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tovalin::platform {

int TwipsToPixels(double twips, double twipsPerPixel) {
    const double pixels = twips / twipsPerPixel;
    if (std::isnan(pixels)) {
        return 0;
    }
    constexpr double kLowest = std::numeric_limits<int>::lowest();
    constexpr double kHighest = std::numeric_limits<int>::max();
    if (pixels <= kLowest) {
        return std::numeric_limits<int>::lowest();
    }
    if (pixels >= kHighest) {
        return std::numeric_limits<int>::max();
    }
    return static_cast<int>(std::lround(pixels));
}

double PixelsToTwips(int pixels, double twipsPerPixel) {
    return static_cast<double>(pixels) * twipsPerPixel;
}

int ScaleForDpi(int dpi) {
    return std::max(1, (dpi + 48) / 96);
}

}  // namespace tovalin::platform

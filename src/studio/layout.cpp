#include "studio/layout.h"

#include <algorithm>
#include <cmath>

namespace tovalin::studio {

namespace {

constexpr Size kClient{830, 430};

// At 96 dpi, in the order of Part.
constexpr std::array<Box, kPartCount> kBoxes{{
    {10, 10, 280, 18},    // kFramesLabel
    {10, 32, 280, 316},   // kFrameList
    {10, 356, 76, 28},    // kAdd
    {92, 356, 62, 28},    // kUp
    {160, 356, 62, 28},   // kDown
    {228, 356, 62, 28},   // kRemove
    {10, 390, 280, 32},   // kDropHint
    {300, 10, 250, 18},   // kPreviewLabel
    {300, 32, 250, 250},  // kPreview
    {300, 290, 250, 18},  // kIconLabel
    {300, 310, 52, 52},   // kIcon
    {360, 310, 190, 26},  // kChooseIcon
    {360, 340, 190, 26},  // kClearIcon
    {300, 370, 250, 52},  // kIconNote
    {560, 10, 260, 18},   // kSettingsLabel
    {560, 36, 76, 20},    // kCountLabel
    {640, 32, 180, 24},   // kCount
    {560, 68, 76, 20},    // kMoveLabel
    {640, 64, 180, 24},   // kMove
    {560, 100, 76, 20},   // kLocationLabel
    {640, 96, 180, 24},   // kLocation
    {560, 132, 76, 20},   // kSpeedLabel
    {640, 128, 180, 24},  // kSpeed
    {560, 164, 76, 20},   // kVersionLabel
    {640, 160, 180, 24},  // kVersion
    {560, 196, 76, 20},   // kCopyrightLabel
    {640, 192, 180, 24},  // kCopyright
    {560, 224, 260, 64},  // kTextNote
    {560, 320, 260, 30},  // kTry
    {560, 358, 260, 40},  // kCreate
}};

}  // namespace

int Scaled(int base, int dpi) {
    const long long scaled = static_cast<long long>(base) * dpi;
    return static_cast<int>((scaled + kBaseDpi / 2) / kBaseDpi);
}

Size ClientSize(int dpi) {
    return {Scaled(kClient.width, dpi), Scaled(kClient.height, dpi)};
}

Box PlaceOf(Part part, int dpi) {
    const Box& base = kBoxes[static_cast<std::size_t>(part)];
    // Edges are scaled, not sizes, so that neighbours keep their gaps whatever the rounding.
    const int left = Scaled(base.left, dpi);
    const int top = Scaled(base.top, dpi);
    return {left, top, Scaled(base.right(), dpi) - left, Scaled(base.bottom(), dpi) - top};
}

PreviewFit FitPreview(Size box, Size frames, int playerScale) {
    PreviewFit fit;
    if (frames.width <= 0 || frames.height <= 0 || box.width <= 0 || box.height <= 0)
        return fit;
    const double fits = std::min(static_cast<double>(box.width) / frames.width,
                                 static_cast<double>(box.height) / frames.height);
    fit.scale = fits >= 1 ? std::min<double>(std::max(playerScale, 1), std::floor(fits)) : fits;
    fit.left = static_cast<int>((box.width - std::lround(frames.width * fit.scale)) / 2);
    fit.top = static_cast<int>((box.height - std::lround(frames.height * fit.scale)) / 2);
    return fit;
}

}  // namespace tovalin::studio

#include "studio/layout.h"

#include <algorithm>
#include <cmath>

namespace tovalin::studio {

namespace {

constexpr Size kClient{860, 430};

// At 96 dpi, in the order of Part.
constexpr std::array<Box, kPartCount> kBoxes{{
    {10, 10, 290, 18},    // kFramesLabel
    {10, 32, 290, 316},   // kFrameList
    {10, 356, 86, 28},    // kAdd
    {102, 356, 62, 28},   // kUp
    {170, 356, 62, 28},   // kDown
    {238, 356, 62, 28},   // kRemove
    {10, 390, 290, 32},   // kDropHint
    {310, 10, 260, 18},   // kPreviewLabel
    {310, 32, 260, 260},  // kPreview
    {310, 300, 260, 18},  // kIconLabel
    {310, 320, 52, 52},   // kIcon
    {370, 320, 200, 26},  // kChooseIcon
    {370, 350, 200, 26},  // kClearIcon
    {310, 380, 260, 42},  // kIconNote
    {590, 10, 260, 18},   // kSettingsLabel
    {590, 36, 76, 20},    // kCountLabel
    {670, 32, 180, 24},   // kCount
    {590, 68, 76, 20},    // kMoveLabel
    {670, 64, 180, 24},   // kMove
    {590, 100, 76, 20},   // kLocationLabel
    {670, 96, 180, 24},   // kLocation
    {590, 132, 76, 20},   // kSpeedLabel
    {670, 128, 180, 24},  // kSpeed
    {590, 164, 76, 20},   // kVersionLabel
    {670, 160, 180, 24},  // kVersion
    {590, 196, 76, 20},   // kCopyrightLabel
    {670, 192, 180, 24},  // kCopyright
    {590, 224, 260, 64},  // kTextNote
    {590, 320, 260, 30},  // kTry
    {590, 358, 260, 40},  // kCreate
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

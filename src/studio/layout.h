// Where the studio's controls go: one fixed arrangement in pixels at 96 dpi, scaled to the
// window's resolution. Three columns: the frames, the preview and the icon, the settings and the
// actions. At 150 % it still fits a 1366 x 768 screen with a taskbar (and a 1280 pixels wide
// one). Portable, so that the arrangement is checked without a window.
#pragma once

#include <array>
#include <cstddef>

namespace tovalin::studio {

enum class Part : std::size_t {
    kFramesLabel,
    kFrameList,
    kAdd,
    kUp,
    kDown,
    kRemove,
    kDropHint,
    kPreviewLabel,
    kPreview,
    kIconLabel,
    kIcon,
    kChooseIcon,
    kClearIcon,
    kIconNote,
    kSettingsLabel,
    kCountLabel,
    kCount,
    kMoveLabel,
    kMove,
    kLocationLabel,
    kLocation,
    kSpeedLabel,
    kSpeed,
    kVersionLabel,
    kVersion,
    kCopyrightLabel,
    kCopyright,
    kTextNote,
    kTry,
    kCreate,
};
inline constexpr std::size_t kPartCount = static_cast<std::size_t>(Part::kCreate) + 1;

struct Box {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int right() const { return left + width; }
    int bottom() const { return top + height; }
};

struct Size {
    int width = 0;
    int height = 0;
};

inline constexpr int kBaseDpi = 96;

// A length of `base` pixels at 96 dpi, at `dpi`, rounded to the nearest pixel.
int Scaled(int base, int dpi);

// The client area the arrangement needs at `dpi`.
Size ClientSize(int dpi);

// Where a part goes in the client area at `dpi`.
Box PlaceOf(Part part, int dpi);

// How the preview shows frames of at most `frames` pixels in a box of `box` pixels: at the
// player's whole-number scale where they fit, else at the largest whole-number scale that fits,
// else shrunk to fit; the frames' common box centred, each frame at its top-left corner as the
// player places its windows.
struct PreviewFit {
    double scale = 1;
    int left = 0;
    int top = 0;
};
PreviewFit FitPreview(Size box, Size frames, int playerScale);

}  // namespace tovalin::studio

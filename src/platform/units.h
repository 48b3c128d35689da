// Twips and pixels.
#pragma once

namespace tovalin::platform {

// THE rule for bringing a position or size in twips to whole pixels, used alike by the scene's
// placement of new windows and by every move of the motion code, so that a window placed at a
// point and a window moved to the same point land on the same pixel: twips / twipsPerPixel
// rounded to the nearest integer, halves away from zero (std::lround). Results beyond the int
// range are clamped to it, and a value that is not a number (for instance 0 / 0) gives 0.
int TwipsToPixels(double twips, double twipsPerPixel);

// Pixels back to twips: pixels × twipsPerPixel, exact for whole twips per pixel.
double PixelsToTwips(int pixels, double twipsPerPixel);

// The whole-number scale frames are drawn at on a display of this many dots per inch: dpi / 96
// rounded to the nearest whole number, halves up, at least 1 (96 and 120 dpi: 1; 144 and 192:
// 2; 240 and 288: 3). Pixel art stays crisp only at whole-number scales.
int ScaleForDpi(int dpi);

}  // namespace tovalin::platform

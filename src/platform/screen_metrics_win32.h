// Screen metrics of the primary display in twips, kept until the system announces a change.
#pragma once

#include <windows.h>

#include "platform/desktop.h"

namespace tovalin::platform {

// The side of a small icon (the tray's) at the display's resolution: 16 pixels at 96 dpi.
int SmallIconSize();

// Screen metrics of the primary display; twips per pixel is 1440 / its dots per inch.
double TwipsPerPixelX();
double TwipsPerPixelY();
double ScreenWidthTwips();
double ScreenHeightTwips();
// The height of the area the taskbar leaves free, as a full-screen window's client height plus a
// caption, in pixels, never below the work area's bottom edge.
int FreeAreaHeightPixels();

// A rectangle of screen pixels in twips of the primary display.
Area AreaInTwips(const RECT& rect);

// Every monitor, in twips of the primary display, with its work area and resolution.
const Desktop& SystemDesktop();

// The metrics above are read from the system once and kept until the system announces a change
// of the display or of a setting (WM_DISPLAYCHANGE, WM_SETTINGCHANGE, which every top-level
// window receives): the motion asks for them for every character on every tick, and each
// question is a round trip to the server that hardly ever finds anything new.
void ForgetScreenMetrics();

}  // namespace tovalin::platform

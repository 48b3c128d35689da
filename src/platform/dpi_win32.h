// The display's resolution as this program sees it, and the program's awareness of it.
#pragma once

#include <windows.h>

namespace tovalin::platform {

// The program's resolution awareness: per monitor (v2), or the system's resolution where that
// is all the system offers. Called once, before the first window.
void DeclareDpiAwareness();

// The primary display's dots per inch as this program sees it (96 for a program the system
// scales), and the whole-number scale frames are drawn at. SetDisplayDpi records a change.
int DisplayDpi();
void SetDisplayDpi(int dpi);
int DisplayScale();

// A monitor's dots per inch as the system reports it now; 0 where the system cannot tell it per
// monitor.
int MonitorDpi(HMONITOR monitor);
// The primary display's dots per inch as the system reports it now.
int QueryPrimaryDpi();
// The resolution the session started with, which system metrics and fonts are given at.
int ScreenDcDpi();
// True when the window lies (mostly) on the primary display.
bool OnPrimaryDisplay(HWND hwnd);

}  // namespace tovalin::platform

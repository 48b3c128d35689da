// The shell's own top-level windows: the desktop and the taskbars.
#pragma once

#include <windows.h>

namespace tovalin::platform {

bool IsShellWindow(HWND hwnd);

}  // namespace tovalin::platform

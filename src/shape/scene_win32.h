// The scene: the character windows on the desktop with their timers.
#pragma once

#include "shape/view_win32.h"

#include <memory>
#include <vector>

namespace tovalin::shape {

// The current scene's character windows, in creation order.
extern std::vector<std::unique_ptr<frmView>> gViews;

// Builds the scene afresh from the current settings and frames.
void SetupScene();

// Puts the window above all others and shows it; true when the system agreed.
bool MakeTopmost(HWND hwnd);

// The animation interval of a speed word (250 ms for an unknown one).
unsigned AnimationInterval(std::wstring_view anim);

}  // namespace tovalin::shape

// Dragging a character with the left button through the system's own move loop.
#pragma once

#include "motion/motion.h"
#include "platform/window_win32.h"

namespace tovalin::motion {

// button: 1 left, 2 right, 4 middle. Stops the window's animation timer and marks the record
// dragged for as long as the move loop runs; returns when the drag has ended. A dropped
// character of "窓の上" then falls from where it was let go.
void StartDrag(platform::Window& window, platform::Timer& animation, MotionWindow& dragged,
               int button);

}  // namespace tovalin::motion

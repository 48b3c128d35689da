// Dragging a character with the left button through the system's own move loop.
#pragma once

namespace tovalin::shape {
class frmView;
}

namespace tovalin::motion {

// button: 1 left, 2 right, 4 middle. Returns when the drag has ended.
void StartDrag(shape::frmView& view, int button);

}  // namespace tovalin::motion

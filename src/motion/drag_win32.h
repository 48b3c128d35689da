// Dragging a character with the left button through the system's own move loop.
#pragma once

namespace tovalin::shape {
class frmView;
}

namespace tovalin::motion {

// button: 1 left, 2 right, 4 middle. Returns when the drag has ended.
void StartDrag(shape::frmView& view, int button);

// True while the system's move loop of a drag runs.
bool DragInProgress();

// Lets pending messages run, as the frame animation does in the middle of its work. While a
// drag is in progress the pointer's and the keyboard's input stay queued: they belong to the
// system's move loop, which ends the drag only when it sees the button's release.
void PumpPendingMessagesKeepingDragInput();

}  // namespace tovalin::motion

#include "motion/drag_win32.h"

#include "shape/view_win32.h"

namespace tovalin::motion {

void StartDrag(shape::frmView& view, int button) {
    if (button != 1)
        return;
    view.Timer1.SetEnabled(false);
    view.CharaInfo.bMoving = true;
    ::ReleaseCapture();
    const platform::Watch alive = view.MakeWatch();
    // A press on the caption: the system's move loop follows the pointer until the button is up.
    ::SendMessageA(view.hwnd(), WM_NCLBUTTONDOWN, HTCAPTION, 0);
    // The scene may have been rebuilt (or the program told to end) inside the move loop.
    if (!alive.Alive())
        return;
    view.CharaInfo.bMoving = false;
    view.Timer1.SetEnabled(true);
}

}  // namespace tovalin::motion

#include "motion/drag_win32.h"

namespace tovalin::motion {

void StartDrag(platform::Window& window, platform::Timer& animation, CharaInfo& info, int button) {
    if (button != 1)
        return;
    animation.SetEnabled(false);
    info.bMoving = true;
    ::ReleaseCapture();
    const platform::Watch alive = window.MakeWatch();
    // A press on the caption: the system's move loop follows the pointer until the button is up.
    ::SendMessageA(window.hwnd(), WM_NCLBUTTONDOWN, HTCAPTION, 0);
    // The scene may have been rebuilt (or the program told to end) inside the move loop.
    if (!alive.Alive())
        return;
    info.bMoving = false;
    animation.SetEnabled(true);
}

}  // namespace tovalin::motion

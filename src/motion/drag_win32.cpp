#include "motion/drag_win32.h"

namespace tovalin::motion {

namespace {

// The button the user presses as the left one, as the hardware reports it now: with the buttons
// swapped that is the physical right button.
bool PrimaryButtonStillDown() {
    const int key = ::GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
    return (::GetAsyncKeyState(key) & 0x8000) != 0;
}

}  // namespace

void StartDrag(platform::Window& window, platform::Timer& animation, MotionWindow& dragged,
               int button) {
    if (button != 1)
        return;
    CharaInfo& info = dragged.Info();
    animation.SetEnabled(false);
    info.bMoving = true;
    ::ReleaseCapture();
    const platform::Watch alive = window.MakeWatch();
    // A press on the caption: the system's move loop follows the pointer until the button is up.
    // A press handled only after the user let go has nothing to drag: the character goes on at
    // once instead of waiting in a loop for a release that may never be delivered to it.
    if (PrimaryButtonStillDown())
        ::SendMessageA(window.hwnd(), WM_NCLBUTTONDOWN, HTCAPTION, 0);
    // The scene may have been rebuilt (or the program told to end) inside the move loop.
    if (!alive.Alive())
        return;
    info.bMoving = false;
    dragged.LedgeFooting().Drop();
    animation.SetEnabled(true);
}

}  // namespace tovalin::motion

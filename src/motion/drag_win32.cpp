#include "motion/drag_win32.h"

#include "platform/system_win32.h"
#include "shape/view_win32.h"

namespace tovalin::motion {

namespace {

int gDragsInProgress = 0;  // a drag may start inside a handler that runs within another's loop

class DragInProgressScope {
  public:
    DragInProgressScope() { ++gDragsInProgress; }
    ~DragInProgressScope() { --gDragsInProgress; }
    DragInProgressScope(const DragInProgressScope&) = delete;
    DragInProgressScope& operator=(const DragInProgressScope&) = delete;
};

}  // namespace

void StartDrag(shape::frmView& view, int button) {
    if (button != 1)
        return;
    view.Timer1.SetEnabled(false);
    view.CharaInfo.bMoving = true;
    ::ReleaseCapture();
    const platform::Watch alive = view.MakeWatch();
    {
        // A press on the caption: the system's move loop follows the pointer until the button
        // is up.
        const DragInProgressScope dragging;
        ::SendMessageA(view.hwnd(), WM_NCLBUTTONDOWN, HTCAPTION, 0);
    }
    // The scene may have been rebuilt (or the program told to end) inside the move loop.
    if (!alive.Alive())
        return;
    view.CharaInfo.bMoving = false;
    view.Timer1.SetEnabled(true);
}

bool DragInProgress() {
    return gDragsInProgress > 0;
}

void PumpPendingMessagesKeepingDragInput() {
    if (!DragInProgress()) {
        platform::PumpPendingMessages();
        return;
    }
    // The move loop dispatches timers to the animation, whose pump would otherwise take the
    // loop's pointer motion and button release: the character would stop following the
    // pointer, or go on following it after the button is up.
    constexpr UINT kAllButInput = PM_QS_POSTMESSAGE | PM_QS_PAINT | PM_QS_SENDMESSAGE;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | kAllButInput)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));  // for the main loop
            return;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

}  // namespace tovalin::motion

#include "shape/click_through_win32.h"

#include "shape/scene_win32.h"

namespace tovalin::shape {

namespace {

bool gClickThrough = false;

// The system passes the mouse through a window only when it is both layered and transparent;
// a layered window at full opacity looks and paints as before, its region still cutting it.
constexpr LONG_PTR kPassing = WS_EX_LAYERED | WS_EX_TRANSPARENT;

void LetClicksThrough(HWND hwnd, bool through) {
    if (!hwnd)
        return;
    const LONG_PTR style = ::GetWindowLongPtrW(hwnd, GWL_EXSTYLE);
    const LONG_PTR wanted = through ? (style | kPassing) : (style & ~kPassing);
    if (wanted == style)
        return;
    ::SetWindowLongPtrW(hwnd, GWL_EXSTYLE, wanted);
    if (through) {
        ::SetLayeredWindowAttributes(hwnd, 0, 255, LWA_ALPHA);
    } else {
        // A window that stops being layered has no picture until it paints again.
        ::RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME);
    }
}

}  // namespace

void UseClickThrough(bool on) {
    gClickThrough = on;
    for (const auto& view : gViews)
        LetClicksThrough(view->hwnd(), on);
}

bool ClickThrough() {
    return gClickThrough;
}

void TakeClickThrough(HWND hwnd) {
    if (gClickThrough)
        LetClicksThrough(hwnd, true);
}

}  // namespace tovalin::shape

#include "platform/pump_win32.h"

#include <windows.h>

#include "platform/counters.h"

namespace tovalin::platform {

void PumpPendingMessages() {
    // Only posted, sent and paint messages, timers included. Keyboard and mouse input stays
    // queued for the loop that reads it, which may be a popup menu's, a move loop's or a
    // dialog's: taken here, a key or a click meant for such a loop would be lost.
    constexpr UINT kRemove = PM_REMOVE | PM_QS_POSTMESSAGE | PM_QS_PAINT | PM_QS_SENDMESSAGE;
    Count(Counter::kPumpPass);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, kRemove)) {
        Count(Counter::kMessage);
        if (msg.message == WM_QUIT) {
            // Leave the quit request for the main loop.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

}  // namespace tovalin::platform

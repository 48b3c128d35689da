#include "app/startup_win32.h"
#include "motion/worker_win32.h"
#include "platform/counters_win32.h"
#include "platform/forms_win32.h"
#include "platform/dpi_win32.h"
#include "platform/guard_win32.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace tovalin;
    platform::ShareCountersIfAsked();
    // Drawn at the display's own resolution: a system-stretched pixel-art character is blurred.
    platform::DeclareDpiAwareness();

    // The worker is the first window; its load handler is the start-up sequence.
    const bool started = platform::Guarded("start-up", [] {
        motion::frmWork::Get();
        app::Form_Load();
    });
    if (!started)
        return 1;

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
        // Back at the top of the loop no handler is running, so unloaded windows can go.
        platform::FreeRetiredWindows();
    }
    return static_cast<int>(msg.wParam);
}

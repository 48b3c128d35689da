#include "app/shutdown_win32.h"
#include "app/startup_win32.h"
#include "platform/handles_win32.h"
#include "platform/system_win32.h"

#include <windows.h>
#include <commctrl.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace tovalin;
    const platform::ComApartment com;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);

    // Creating the worker runs the whole start-up.
    bool started = platform::Guarded("start-up", [] { app::frmWork::Get(); });
    if (!started)
        return 1;

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
        // Back at the top of the loop no handler is running, so unloaded windows can go.
        app::FreeRetiredWindows();
    }
    return static_cast<int>(msg.wParam);
}

// The start-up benchmark's floor: the least a Win32 program does to put one window on the screen.
// It is a program of its own, importing only what such a program needs (kernel32 and user32), so
// that the floor pays for no library the character does not also pay for.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = instance;
    wc.lpszClassName = L"tovalin.bench.floor";
    ::RegisterClassW(&wc);
    HWND hwnd = ::CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"", WS_POPUP | WS_VISIBLE,
                                  100, 100, 49, 64, nullptr, nullptr, instance, nullptr);
    MSG msg;
    while (hwnd && ::GetMessageW(&msg, nullptr, 0, 0) > 0)
        ::DispatchMessageW(&msg);
    return 0;
}

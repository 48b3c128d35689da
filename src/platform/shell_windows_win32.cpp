#include "platform/shell_windows_win32.h"

#include <array>
#include <string_view>

namespace tovalin::platform {

bool IsShellWindow(HWND hwnd) {
    if (hwnd == ::GetDesktopWindow() || hwnd == ::GetShellWindow())
        return true;
    wchar_t name[64] = {};
    ::GetClassNameW(hwnd, name, 64);
    constexpr std::array<std::wstring_view, 4> kShellClasses = {
        L"Progman", L"WorkerW", L"Shell_TrayWnd", L"Shell_SecondaryTrayWnd"};
    for (std::wstring_view shell : kShellClasses) {
        if (shell == name)
            return true;
    }
    return false;
}

}  // namespace tovalin::platform

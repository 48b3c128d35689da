#include "studio/controls_win32.h"

#include "platform/dpi_win32.h"
#include "platform/system_function_win32.h"

namespace tovalin::studio {

int WindowDpi(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    // Looked up by name, as every function of newer systems, so that the studio starts on older
    // ones.
    static const auto getDpiForWindow =
        platform::SystemFunction<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
    const UINT dpi = getDpiForWindow && hwnd ? getDpiForWindow(hwnd) : 0;
    return dpi > 0 ? static_cast<int>(dpi) : platform::DisplayDpi();
}

SIZE OuterSize(SIZE client, DWORD style, DWORD exStyle, int dpi) {
    using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi =
        platform::SystemFunction<AdjustForDpiFn>(L"user32.dll", "AdjustWindowRectExForDpi");
    RECT rect{0, 0, client.cx, client.cy};
    if (!adjustForDpi || !adjustForDpi(&rect, style, FALSE, exStyle, static_cast<UINT>(dpi)))
        ::AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

// The metrics the system reports are at the resolution the session started with; the font is
// scaled from there to the window's.
platform::UniqueHfont MakeUiFont(int dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    LOGFONTW font{};
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
        font = metrics.lfMessageFont;
        font.lfHeight = ::MulDiv(font.lfHeight, dpi, platform::ScreenDcDpi());
    } else {
        font.lfHeight = -::MulDiv(9, dpi, 72);
        font.lfCharSet = SHIFTJIS_CHARSET;
    }
    return platform::UniqueHfont(::CreateFontIndirectW(&font));
}

HWND MakeControl(HWND parent, const wchar_t* className, std::wstring_view text, DWORD style, int id,
                 Part part, int dpi, HFONT font, DWORD exStyle) {
    const Box box = PlaceOf(part, dpi);
    const std::wstring caption(text);
    HWND control = ::CreateWindowExW(
        exStyle, className, caption.c_str(), WS_CHILD | WS_VISIBLE | style, box.left, box.top,
        box.width, box.height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
        ::GetModuleHandleW(nullptr), nullptr);
    if (control && font)
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

void Place(HWND control, Part part, int dpi, int listRows) {
    const Box box = PlaceOf(part, dpi);
    ::SetWindowPos(control, nullptr, box.left, box.top, box.width, box.height * listRows,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

std::wstring TextOf(HWND control) {
    const int length = ::GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(control, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

void ShowError(HWND owner, std::wstring_view text) {
    const std::wstring message(text);
    ::MessageBoxW(owner, message.c_str(), kStudioTitle, MB_OK | MB_ICONERROR);
}

void ShowInfo(HWND owner, std::wstring_view text) {
    const std::wstring message(text);
    ::MessageBoxW(owner, message.c_str(), kStudioTitle, MB_OK | MB_ICONINFORMATION);
}

}  // namespace tovalin::studio

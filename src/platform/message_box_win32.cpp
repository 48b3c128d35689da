#include "platform/message_box_win32.h"

#include "platform/handles_win32.h"

namespace tovalin::platform {

void ShowMessage(std::wstring_view text, std::wstring_view caption, UINT flags) {
    std::wstring t(text);
    std::wstring c(caption);
    ::MessageBoxW(nullptr, t.c_str(), c.c_str(), MB_OK | MB_SETFOREGROUND | MB_TASKMODAL | flags);
}

std::wstring LastErrorText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const UniqueLocalMemory owned(text);
    std::wstring result = n ? std::wstring(text, n) : L"";
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r'))
        result.pop_back();
    if (result.empty())
        result = L"エラー " + std::to_wstring(error);
    return result;
}

}  // namespace tovalin::platform

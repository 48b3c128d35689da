#include "platform/text_win32.h"

#include <windows.h>

namespace tovalin::platform {

namespace {

constexpr UINT kShiftJis = 932;

std::wstring Decode(UINT codePage, std::string_view bytes) {
    if (bytes.empty())
        return {};
    const int n =
        MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), result.data(),
                        n);
    return result;
}

std::string Encode(UINT codePage, std::wstring_view text) {
    if (text.empty())
        return {};
    const int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), result.data(), n,
                        nullptr, nullptr);
    return result;
}

}  // namespace

std::wstring FromCp932(std::string_view bytes) {
    return Decode(kShiftJis, bytes);
}
std::string ToCp932(std::wstring_view text) {
    return Encode(kShiftJis, text);
}
std::wstring FromUtf8(std::string_view text) {
    return Decode(CP_UTF8, text);
}
std::string ToUtf8(std::wstring_view text) {
    return Encode(CP_UTF8, text);
}

}  // namespace tovalin::platform

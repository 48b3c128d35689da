// Code page 932 through the system's converter, with no best-fit substitutes.
#include "pack/cp932.h"

#include <windows.h>

#include <climits>

namespace tovalin::pack {

namespace {

constexpr UINT kCp932 = 932;

std::optional<std::wstring> Widen(UINT codePage, DWORD flags, std::string_view text) {
    if (text.empty())
        return std::wstring();
    if (text.size() > INT_MAX)
        return std::nullopt;
    int length = static_cast<int>(text.size());
    int needed = MultiByteToWideChar(codePage, flags, text.data(), length, nullptr, 0);
    if (needed <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    if (MultiByteToWideChar(codePage, flags, text.data(), length, wide.data(), needed) != needed) {
        return std::nullopt;
    }
    return wide;
}

// usedDefault must be null for UTF-8, which has no default character.
std::optional<std::string> Narrow(UINT codePage, DWORD flags, std::wstring_view text,
                                  BOOL* usedDefault) {
    if (text.empty())
        return std::string();
    if (text.size() > INT_MAX)
        return std::nullopt;
    int length = static_cast<int>(text.size());
    int needed =
        WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return std::nullopt;
    std::string narrow(static_cast<std::size_t>(needed), '\0');
    if (WideCharToMultiByte(codePage, flags, text.data(), length, narrow.data(), needed, nullptr,
                            usedDefault) != needed) {
        return std::nullopt;
    }
    return narrow;
}

}  // namespace

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
    std::optional<std::wstring> wide = Widen(CP_UTF8, MB_ERR_INVALID_CHARS, utf8);
    if (!wide)
        return std::nullopt;
    BOOL usedDefault = FALSE;
    std::optional<std::string> bytes = Narrow(kCp932, WC_NO_BEST_FIT_CHARS, *wide, &usedDefault);
    if (!bytes || usedDefault)
        return std::nullopt;
    return bytes;
}

std::optional<std::string> Cp932ToUtf8Exact(std::string_view cp932) {
    std::optional<std::wstring> wide = Widen(kCp932, MB_ERR_INVALID_CHARS, cp932);
    if (!wide)
        return std::nullopt;
    return Narrow(CP_UTF8, 0, *wide, nullptr);
}

std::string Cp932ToUtf8(std::string_view cp932) {
    const std::wstring wide = Widen(kCp932, 0, cp932).value_or(std::wstring());
    return Narrow(CP_UTF8, 0, wide, nullptr).value_or(std::string());
}

}  // namespace tovalin::pack

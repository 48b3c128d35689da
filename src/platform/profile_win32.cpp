#include "platform/profile_win32.h"

#include "platform/paths.h"
#include "platform/text_win32.h"

#include <windows.h>

namespace tovalin::platform {

namespace {

constexpr DWORD kBufferSize = 511;

// The profile calls store text in the system's ANSI code page. The files must hold code page
// 932 whatever that code page is, so a text goes in as the ANSI characters whose bytes are its
// code page 932 bytes, and comes back the same way. On a code page 932 system both steps are
// the identity.
std::wstring AsProfileText(const std::wstring& text) {
    const std::string bytes = ToCp932(text);
    if (bytes.empty())
        return {};
    const int n =
        ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(), n);
    return wide;
}

std::wstring FromProfileText(const std::wstring& wide) {
    if (wide.empty())
        return {};
    const int n = ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), bytes.data(), n,
                          nullptr, nullptr);
    return FromCp932(bytes);
}

}  // namespace

std::wstring ReadProfileText(const std::wstring& path, const std::wstring& section,
                             const std::wstring& key) {
    wchar_t buffer[kBufferSize + 1] = {};
    const DWORD n =
        ::GetPrivateProfileStringW(AsProfileText(section).c_str(), AsProfileText(key).c_str(),
                                   nullptr, buffer, kBufferSize, path.c_str());
    return TrimBlanks(FromProfileText(std::wstring(buffer, n)));
}

bool WriteProfileText(const std::wstring& path, const std::wstring& section,
                      const std::wstring& key, const std::wstring& value) {
    return ::WritePrivateProfileStringW(AsProfileText(section).c_str(), AsProfileText(key).c_str(),
                                        AsProfileText(value).c_str(), path.c_str()) != FALSE;
}

}  // namespace tovalin::platform

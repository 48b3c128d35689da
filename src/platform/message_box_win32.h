// Message boxes under the application's title, and the system's own words for an error.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tovalin::platform {

inline constexpr const wchar_t* kAppTitle = L"TOVALIN+";

// Shows an OK message box owned by nobody; flags add an icon (MB_ICONERROR, ...) when wanted.
void ShowMessage(std::wstring_view text, std::wstring_view caption = kAppTitle, UINT flags = 0);

// The last system error as text, for messages.
std::wstring LastErrorText(DWORD error);

}  // namespace tovalin::platform

// Conversions between the package's code page 932 bytes, UTF-8 and the system's UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace tovalin::platform {

// Decodes code page 932 explicitly, so the result does not depend on the system's ANSI code page.
std::wstring FromCp932(std::string_view bytes);
// Encodes to code page 932; characters the code page cannot hold become '?'.
std::string ToCp932(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);
std::string ToUtf8(std::wstring_view text);

}  // namespace tovalin::platform

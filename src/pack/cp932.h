// Code page 932 text, the package's names, for the packer's UTF-8. Implemented once with iconv
// (cp932_posix.cpp) and once with the system's converter (cp932_win32.cpp).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tovalin::pack {

// Code page 932 bytes for UTF-8 text; nothing when the text is not valid UTF-8 or holds a
// character the code page has no exact byte sequence for (no best-fit substitutes).
std::optional<std::string> Utf8ToCp932(std::string_view utf8);

// UTF-8 for code page 932 bytes; nothing when a byte sequence does not decode.
std::optional<std::string> Cp932ToUtf8Exact(std::string_view cp932);

// UTF-8 for display: bytes that do not decode become U+FFFD.
std::string Cp932ToUtf8(std::string_view cp932);

}  // namespace tovalin::pack

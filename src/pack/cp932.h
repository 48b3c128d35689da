// What the packer needs from its host system: code page 932 text, its own arguments as UTF-8,
// its own location and a console that shows UTF-8. Implemented once with iconv and /proc
// (cp932_posix.cpp) and once with the Windows API (cp932_win32.cpp).
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovalin::pack {

// Code page 932 bytes for UTF-8 text; nothing when the text is not valid UTF-8 or holds a
// character the code page has no exact byte sequence for (no best-fit substitutes).
std::optional<std::string> Utf8ToCp932(std::string_view utf8);

// UTF-8 for code page 932 bytes; nothing when a byte sequence does not decode.
std::optional<std::string> Cp932ToUtf8Exact(std::string_view cp932);

// UTF-8 for display: bytes that do not decode become U+FFFD.
std::string Cp932ToUtf8(std::string_view cp932);

// The program's arguments, argv[0] included, as UTF-8.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// The running executable's own path; empty when the system cannot tell.
std::filesystem::path ExecutablePath();

// Writes UTF-8 text to stdout or stderr so that a console shows it readably.
void WriteText(std::FILE* stream, std::string_view utf8);

}  // namespace tovalin::pack

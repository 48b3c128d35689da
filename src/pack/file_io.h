// Whole-file reads and writes for the packer, with every failure reported as a PackError.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tovalin::pack {

using Bytes = std::vector<std::uint8_t>;

// A failure the user can act on; what() is a Japanese UTF-8 text.
class PackError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Paths travel through the packer as UTF-8 so that Japanese names survive on every system.
std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string PathToUtf8(const std::filesystem::path& path);

// The whole content of a regular file.
Bytes ReadWholeFile(const std::filesystem::path& path);

// Writes the pieces, in order, to a new file beside target and renames it over target, so that
// a failure never leaves a partial target behind (the temporary file is removed).
void WriteFileReplacing(const std::filesystem::path& target,
                        std::span<const std::span<const std::uint8_t>> pieces);

// True when both paths name one existing file (hard links and different spellings included).
bool SameExistingFile(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace tovalin::pack

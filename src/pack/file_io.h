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

// The whole content of a regular file of at most maxBytes; a longer one is refused before
// anything is read, so that a file of any size costs no more memory than that.
Bytes ReadFileAtMost(const std::filesystem::path& path, std::uint64_t maxBytes);

// Writes the pieces, in order, to a new file beside target and renames it over target, so that
// a failure never leaves a partial target behind (the temporary file is removed). The message
// of a failure names target and says why, as far as the system tells.
void WriteFileReplacing(const std::filesystem::path& target,
                        std::span<const std::span<const std::uint8_t>> pieces);

// True when both paths name one existing file (hard links and different spellings included).
bool SameExistingFile(const std::filesystem::path& a, const std::filesystem::path& b);

// Refuses an output that is one of the inputs: renaming over it would destroy the input.
void RequireDistinctOutput(const std::filesystem::path& output,
                           std::span<const std::filesystem::path> inputs);

}  // namespace tovalin::pack

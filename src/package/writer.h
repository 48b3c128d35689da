// Lays out a package the way the player reads it: the length line, the tag lines in code
// page 932, then every packaged file back to back.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tovalin::package {

struct PackagedFile {
    std::string name;  // code page 932
    std::vector<std::uint8_t> bytes;
};

// Header values, code page 932, each written after its tag exactly as given.
struct PackageSettings {
    std::string count;      // "CHA"
    std::string move;       // "MOV"
    std::string location;   // "LOC"
    std::string anim;       // "ANI"
    std::string version;    // "UVR"
    std::string copyright;  // "CPY"
};

// The length line and the header body. The caller makes sure no name or value holds a CR or
// LF (they would end a line early).
std::string BuildPackageHeader(const PackagedFile& icon, std::span<const PackagedFile> frames,
                               const PackageSettings& settings);

// "01_BASE.gif" for index 0: the two-digit sequence number the player's frames carry.
std::string FrameFileName(std::size_t index, std::string_view cp932Base);
std::string IconFileName(std::string_view cp932Base);

// A GIF87a or GIF89a signature.
bool IsGifImage(std::span<const std::uint8_t> bytes);

// An icon directory: reserved 0, type 1, at least one entry, every entry's image inside the file.
bool IsIconFile(std::span<const std::uint8_t> bytes);

}  // namespace tovalin::package

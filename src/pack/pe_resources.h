// The resources of a player image (PE32 or PE32+), and the rewrite that gives a character's
// executable the character's own icon. Works on the file's bytes; hostile bytes are refused
// with a PackError that says what is wrong, never read out of bounds.
// Written by hand instead of UpdateResource: the packer runs on Linux too, and a character made
// on either system must be the same bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "pack/file_io.h"

namespace tovalin::pack {

inline constexpr std::uint16_t kIconResource = 3;        // RT_ICON
inline constexpr std::uint16_t kIconGroupResource = 14;  // RT_GROUP_ICON
inline constexpr std::uint16_t kJapaneseLanguage = 0x0411;

// A resource directory entry's key: a number or a name (UTF-16, as stored).
using ResourceKey = std::variant<std::uint16_t, std::u16string>;

// The order Windows looks entries up in: names first, compared without regard to case
// (folded in the ASCII range, the names resource compilers write), then numbers ascending.
// Names equal but for case fall back to their code units, so that the order is total.
bool ResourceKeyLess(const ResourceKey& a, const ResourceKey& b);

struct Resource {
    ResourceKey type;
    ResourceKey name;
    ResourceKey language;
    std::uint32_t codePage = 0;
    Bytes data;
    friend bool operator==(const Resource&, const Resource&) = default;
};

// Every resource of the image, in the order of its resource directory (type, name, language).
// Refuses a directory that is malformed: entries or data outside the resource section, more or
// fewer than three levels, a directory reached twice (a cycle or a shared subtree), data
// ranges that overlap.
std::vector<Resource> ReadResources(std::span<const std::uint8_t> image);

// The image with its icon group (RT_GROUP_ICON) and icons (RT_ICON) replaced by the ICO file's
// images: one RT_ICON per entry with ids 1 to n, and a group pointing at them that keeps the
// old group's name (id 1 when there was none) and language (Japanese when there was none).
// Every other resource is kept byte for byte. The resource section must be the image's last
// section; it is written anew, and the section's sizes, SizeOfImage, SizeOfInitializedData,
// the resource directory's size and the checksum follow it. The result ends exactly where its
// last section's raw data ends, ready for a package.
//
// Refuses an image that carries bytes after its last section (a package, a signature), one
// with more than one icon group, and one whose headers are inconsistent or whose resource
// section is not last.
Bytes ReplaceIconResources(std::span<const std::uint8_t> image, std::span<const std::uint8_t> ico);

// The checksum the loader and CheckSumMappedFile compute: the file as 16-bit little-endian
// words with the checksum field read as zero, added with the carry folded back after every
// word, plus the file's length. Throws PackError when the bytes are no PE image.
std::uint32_t ComputePeChecksum(std::span<const std::uint8_t> image);

}  // namespace tovalin::pack

// The PE layout the resource code works on: the headers, the section table and the data
// directories, read with every field bounds-checked, and the conditions under which the resource
// section may be written anew. Shared by reading the resources and rewriting them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "pack/file_io.h"
#include "pack/pe_resources.h"

namespace tovalin::pack::pe {

inline constexpr std::size_t kResourceDirectory = 2;
inline constexpr std::size_t kSecurityDirectory = 4;
inline constexpr std::uint32_t kInitializedData = 0x40;
inline constexpr std::uint32_t kSubdirectoryFlag = 0x80000000u;
inline constexpr std::size_t kDirectoryHeaderSize = 16;
inline constexpr std::size_t kDirectoryEntrySize = 8;
inline constexpr std::size_t kDataEntrySize = 16;

inline const std::string kTruncatedHeaders = "プレイヤーの PE ヘッダーが途中で切れています。";

std::string Hex(std::uint64_t value);

std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment);

// Little-endian reads that throw `failure` instead of leaving the bytes.
class Bounded {
  public:
    Bounded(std::span<const std::uint8_t> bytes, std::string failure)
        : bytes_(bytes), failure_(std::move(failure)) {}

    std::size_t size() const { return bytes_.size(); }

    std::span<const std::uint8_t> Range(std::uint64_t offset, std::uint64_t length) const;
    std::uint32_t Get(std::uint64_t offset, int width) const;
    std::uint32_t U16(std::uint64_t offset) const { return Get(offset, 2); }
    std::uint32_t U32(std::uint64_t offset) const { return Get(offset, 4); }

  private:
    std::span<const std::uint8_t> bytes_;
    std::string failure_;
};

struct Section {
    std::size_t header = 0;  // file offset of its section table entry
    std::uint32_t virtualSize = 0;
    std::uint32_t virtualAddress = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawPointer = 0;
    std::uint32_t characteristics = 0;

    // What the section occupies in memory; linkers may leave VirtualSize at 0.
    std::uint64_t Extent() const { return virtualSize != 0 ? virtualSize : rawSize; }
};

struct DataDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

struct PeHeaders {
    std::size_t optionalHeader = 0;
    std::uint32_t fileAlignment = 0, sectionAlignment = 0;
    std::uint32_t sizeOfImage = 0;
    std::uint32_t sizeOfHeaders = 0;
    std::size_t checksumField = 0;
    std::size_t directoryTable = 0;
    std::vector<DataDirectory> directories;  // at most 16
    std::vector<Section> sections;
};

PeHeaders ReadHeaders(std::span<const std::uint8_t> image);

// The package reader takes the end of the last section as the end of the image: anything
// after it would sit between the player and the package. And it finds the section table by
// fixed header sizes, so an image it would read differently cannot carry a package either.
void RequireBareImage(std::span<const std::uint8_t> image, const PeHeaders& headers);

// The resource section must be last in the table, in memory and in the file, hold the
// resource directory at its start and nothing any other directory points at: then it can be
// written anew and grow without moving anything else.
const Section& RequireResourcesLast(const PeHeaders& headers);

// The section holding the resource directory, for reading (it need not be last).
const Section& ResourceSection(const PeHeaders& headers);

// Every resource the section's directory tree holds, in directory order.
std::vector<Resource> ReadResourceSection(std::span<const std::uint8_t> image,
                                          const PeHeaders& headers, const Section& section);

}  // namespace tovalin::pack::pe

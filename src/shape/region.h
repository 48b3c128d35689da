// Region data of a frame's character pixels, built straight from the pixels in the layout the
// system's region-data query returns, so a window can be re-shaped from it with no pixel scan.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/image.h"

namespace tovalin::shape {

// A 32-byte RGNDATAHEADER followed by room for 4,000 rectangles.
inline constexpr std::size_t kRegionRecordSize = 64032;
// Region data of this size or more (3,998 rectangles or more) is worth a warning to the user.
inline constexpr std::size_t kRegionWarningSize = 64000;
inline constexpr std::size_t kRegionHeaderSize = 32;
inline constexpr std::size_t kRegionRectSize = 16;
inline constexpr std::size_t kRegionMaxRects =
    (kRegionRecordSize - kRegionHeaderSize) / kRegionRectSize;

struct RegionRecord {
    alignas(4) std::array<std::uint8_t, kRegionRecordSize> bytes{};
};

// pixels: width*height colours 0x00RRGGBB, row-major, top row first; only the low 24 bits of a
// pixel and of keyColour are compared.
// Builds the region data of every pixel whose colour differs from keyColour, byte for byte as
// GetRegionData returns it for the union of those pixels' 1x1 rectangles: the header (dwSize 32,
// iType RDH_RECTANGLES, nCount, nRgnSize = 16*nCount, rcBound), then the rectangles in y-x bands,
// each a maximal horizontal run, vertically adjacent rows with identical runs sharing one band.
// Returns the size GetRegionData would report: 32 + 16*nCount, or 0 when no pixel differs, the
// data would not fit the record, or the arguments are invalid (width or height outside
// 1..platform::kMaxImageSide, fewer than width*height pixels). When it returns 0 `record` is left
// untouched.
std::uint32_t BuildRegionData(std::span<const std::uint32_t> pixels, std::int32_t width,
                              std::int32_t height, std::uint32_t keyColour,
                              RegionRecord& record) noexcept;

// True when both records hold the same region: the same header and rectangles, byte for byte.
// A record whose header claims more than the record holds is never the same as another.
bool SameRegionData(const RegionRecord& a, const RegionRecord& b) noexcept;

}  // namespace tovalin::shape

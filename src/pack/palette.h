// RGBA pictures reduced to at most 256 colours with one transparent entry: the form of the GIF
// frames the player shows. The result depends on the pixels alone, byte for byte, on every
// platform.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "pack/image.h"

namespace tovalin::pack {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr std::size_t kMaxPaletteSize = 256;

struct IndexedImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<Rgb> palette;           // 1 to 256 entries
    std::vector<std::uint8_t> indices;  // row-major, top row first, each below palette.size()
    std::optional<std::uint8_t> transparentIndex;
    friend bool operator==(const IndexedImage&, const IndexedImage&) = default;
};

// Pixels with alpha below 128 become the transparent index (0), the others opaque with their
// alpha dropped. Up to 255 opaque colours (256 when no pixel is transparent) are kept exactly,
// in ascending RGB order; more are reduced by median cut and every pixel takes the nearest
// entry. Without a transparent pixel there is no transparent index. Throws PackError for a
// picture outside the size limits.
IndexedImage ToIndexed(const RgbaImage& image);

// The picture the indices show: transparent pixels as (0, 0, 0, 0), the others opaque. Throws
// PackError when the image is not well formed (see CheckIndexedImage).
RgbaImage ToRgba(const IndexedImage& image);

// Throws PackError unless the sides are within the limits, the palette holds 1 to 256 entries,
// there is one index per pixel and every index, the transparent one included, names an entry.
void CheckIndexedImage(const IndexedImage& image);

}  // namespace tovalin::pack

// PNG files written plainly (deflate's stored blocks, no filtering) for the tests and the
// benchmarks: every decoder must read them, and no compressor is needed to make them.
#pragma once

#include <cstdint>
#include <vector>

#include "pack/image.h"

namespace tovalin::support {

// An 8-bit RGBA PNG of the picture, alpha as it stands.
std::vector<std::uint8_t> EncodePng(const pack::RgbaImage& picture);

// A PNG whose header claims width x height and which holds no picture data at all.
std::vector<std::uint8_t> PngClaiming(std::uint32_t width, std::uint32_t height);

}  // namespace tovalin::support

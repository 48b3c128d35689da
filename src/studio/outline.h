// A frame as the player will show it: the picture its packaged GIF decodes to, over the
// player's background colour, cut to the pixels whose colour differs from the top-left one.
// The preview draws exactly this.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "pack/image.h"
#include "shape/region.h"

namespace tovalin::studio {

struct Outline {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, row-major, top row first
    std::uint32_t key = 0;              // the colour cut away: the top-left pixel's
    // The region data the player's windows take (shape::BuildRegionData) and its size; null
    // and 0 when the player would show nothing of the frame.
    std::shared_ptr<const shape::RegionRecord> region;
    std::uint32_t regionSize = 0;
};

// The outline of a GIF as the package holds it; transparent pixels take `background`
// (0x00RRGGBB), as the player's decoder gives them. Throws PackError for a GIF it cannot read.
Outline OutlineOf(std::span<const std::uint8_t> packagedGif, std::uint32_t background);

// The pixels the outline keeps, opaque, and alpha 0 wherever the frame is cut away.
pack::RgbaImage KeptPixels(const Outline& outline);

}  // namespace tovalin::studio

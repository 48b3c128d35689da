#include "studio/outline.h"

#include "pack/gif_decoder.h"

namespace tovalin::studio {

namespace {

constexpr std::uint32_t kRgb = 0x00FFFFFF;

std::uint32_t OverBackground(pack::Rgba pixel, std::uint32_t background) {
    if (!pack::IsOpaque(pixel))
        return background & kRgb;
    return std::uint32_t{pixel.r} << 16 | std::uint32_t{pixel.g} << 8 | pixel.b;
}

}  // namespace

Outline OutlineOf(std::span<const std::uint8_t> packagedGif, std::uint32_t background) {
    const pack::RgbaImage picture = pack::DecodeGifFirstFrame(packagedGif);
    Outline outline;
    outline.width = picture.width;
    outline.height = picture.height;
    outline.pixels.reserve(picture.pixels.size());
    for (const pack::Rgba& pixel : picture.pixels)
        outline.pixels.push_back(OverBackground(pixel, background));
    outline.key = outline.pixels.front();
    auto region = std::make_shared<shape::RegionRecord>();
    outline.regionSize =
        shape::BuildRegionData(outline.pixels, outline.width, outline.height, outline.key, *region);
    if (outline.regionSize != 0)
        outline.region = std::move(region);
    return outline;
}

pack::RgbaImage KeptPixels(const Outline& outline) {
    pack::RgbaImage kept = pack::MakeRgbaImage(outline.width, outline.height);
    for (std::size_t i = 0; i < outline.pixels.size(); ++i) {
        const std::uint32_t colour = outline.pixels[i];
        if (colour == outline.key)
            continue;
        kept.pixels[i] = pack::Rgba{static_cast<std::uint8_t>(colour >> 16),
                                    static_cast<std::uint8_t>(colour >> 8),
                                    static_cast<std::uint8_t>(colour), 255};
    }
    return kept;
}

}  // namespace tovalin::studio

// The RGBA picture the GIF decoder gives: the player's GIF frames before they meet the window's
// background, and every authoring step's picture (frames read from PNG or GIF files, the
// composited frames of an animation, the sizes of an icon).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tovalin::platform {

// The largest picture decoded, made or shown, by the player and the authoring steps alike, so
// that nothing is made that the player would refuse. A frame's coordinates are 16-bit signed in
// the system's region data, hence the side.
inline constexpr std::int32_t kMaxImageSide = 32767;
inline constexpr std::uint64_t kMaxImagePixels = 16u * 1024u * 1024u;

struct Rgba {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    std::uint8_t a = 0;
    friend bool operator==(const Rgba&, const Rgba&) = default;
};

// The character's outline is all or nothing: a pixel is either part of the character or the
// background the window is cut away from. Half-transparent pixels count as whichever they are
// nearer to.
inline bool IsOpaque(Rgba pixel) {
    return pixel.a >= 128;
}

struct RgbaImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<Rgba> pixels;  // row-major, top row first, width * height of them

    Rgba& At(std::int32_t x, std::int32_t y) { return pixels[Index(x, y)]; }
    const Rgba& At(std::int32_t x, std::int32_t y) const { return pixels[Index(x, y)]; }
    friend bool operator==(const RgbaImage&, const RgbaImage&) = default;

  private:
    std::size_t Index(std::int32_t x, std::int32_t y) const {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
               static_cast<std::size_t>(x);
    }
};

// True when a picture of these sides has at least one pixel and stays within the limits.
bool FitsImageLimits(std::int64_t width, std::int64_t height);

}  // namespace tovalin::platform

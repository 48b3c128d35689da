// GIF files for the authoring tests, written with the packer's own GIF writer: single images,
// and animations spliced together from single images that share one colour table.
#pragma once

#include <cstdint>
#include <vector>

#include "pack/gif_encoder.h"
#include "pack/palette.h"

namespace tovalin::pack::gif_files {

// A width x height picture of two colours on the transparent index: colour 1 where
// (x + y + seed) % 3 != 0, colour 2 in the first column, transparent elsewhere.
inline IndexedImage Pattern(std::int32_t width, std::int32_t height, std::uint8_t seed) {
    IndexedImage image;
    image.width = width;
    image.height = height;
    image.palette = {{0, 0, 0}, {240, 120, 20}, {20, 60, 200}};
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const std::uint8_t index = x == 0 ? 2 : (x + y + seed) % 3 != 0 ? 1 : 0;
            image.indices.push_back(index);
        }
    }
    image.transparentIndex = 0;
    return image;
}

// An animation of the images, which must share their size and palette: the first file's
// header and colour table, then every file's control extension and image, then the trailer.
inline Bytes Animation(const std::vector<IndexedImage>& images) {
    Bytes out;
    for (std::size_t i = 0; i < images.size(); ++i) {
        const Bytes single = EncodeGif(images[i]);
        const std::size_t table = 3 * (std::size_t{2} << (single[10] & 7));
        const std::size_t blocks = 13 + table;
        if (i == 0)
            out.assign(single.begin(), single.begin() + static_cast<std::ptrdiff_t>(blocks));
        out.insert(out.end(), single.begin() + static_cast<std::ptrdiff_t>(blocks),
                   single.end() - 1);
    }
    out.push_back(0x3B);
    return out;
}

// An animation of `count` copies of one tiny image: a file that claims many frames cheaply.
inline Bytes ManyImages(std::size_t count) {
    const Bytes single = EncodeGif(Pattern(2, 2, 0));
    const std::size_t blocks = 13 + 3 * (std::size_t{2} << (single[10] & 7));
    Bytes out(single.begin(), single.begin() + static_cast<std::ptrdiff_t>(blocks));
    for (std::size_t i = 0; i < count; ++i)
        out.insert(out.end(), single.begin() + static_cast<std::ptrdiff_t>(blocks),
                   single.end() - 1);
    out.push_back(0x3B);
    return out;
}

}  // namespace tovalin::pack::gif_files

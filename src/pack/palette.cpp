#include "pack/palette.h"

#include <algorithm>
#include <string>

#include "pack/file_io.h"

namespace tovalin::pack {

namespace {

// Colours as 0xRRGGBB: ordering them orders by red first, which the nearest-colour search
// relies on.
using Packed = std::uint32_t;

Packed Pack(Rgba pixel) {
    return (Packed{pixel.r} << 16) | (Packed{pixel.g} << 8) | pixel.b;
}

Packed Pack(Rgb colour) {
    return (Packed{colour.r} << 16) | (Packed{colour.g} << 8) | colour.b;
}

Rgb Unpack(Packed colour) {
    return Rgb{static_cast<std::uint8_t>(colour >> 16), static_cast<std::uint8_t>(colour >> 8),
               static_cast<std::uint8_t>(colour)};
}

std::uint32_t Channel(Packed colour, int axis) {
    return (colour >> (16 - 8 * axis)) & 0xFF;
}

struct ColourCount {
    Packed colour = 0;
    std::uint32_t pixels = 0;
};

// The opaque colours in ascending order, each with the number of pixels that have it.
std::vector<ColourCount> CountOpaqueColours(const RgbaImage& image) {
    std::vector<Packed> colours;
    colours.reserve(image.pixels.size());
    for (Rgba pixel : image.pixels) {
        if (IsOpaque(pixel))
            colours.push_back(Pack(pixel));
    }
    std::sort(colours.begin(), colours.end());
    std::vector<ColourCount> counts;
    for (Packed colour : colours) {
        if (counts.empty() || counts.back().colour != colour)
            counts.push_back(ColourCount{colour, 0});
        ++counts.back().pixels;
    }
    return counts;
}

// A run of colours in the median cut, with what choosing and splitting it needs.
struct Box {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::uint64_t pixels = 0;
    int axis = 0;             // the channel (0 red, 1 green, 2 blue) with the widest spread
    std::uint32_t range = 0;  // that spread
};

Box DescribeBox(const std::vector<ColourCount>& colours, std::size_t begin, std::size_t end) {
    Box box{begin, end, 0, 0, 0};
    for (int axis = 0; axis < 3; ++axis) {
        std::uint32_t low = 255, high = 0;
        for (std::size_t i = begin; i < end; ++i) {
            low = std::min(low, Channel(colours[i].colour, axis));
            high = std::max(high, Channel(colours[i].colour, axis));
        }
        if (high - low > box.range || axis == 0) {
            box.range = high - low;
            box.axis = axis;
        }
    }
    for (std::size_t i = begin; i < end; ++i)
        box.pixels += colours[i].pixels;
    return box;
}

// The box to split next: the widest spread, then the most pixels, then the earliest. Spread
// first keeps small patches of a distinct colour (an eye, an outline) from being averaged away.
std::optional<std::size_t> BoxToSplit(const std::vector<Box>& boxes) {
    std::optional<std::size_t> chosen;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const Box& box = boxes[i];
        if (box.end - box.begin < 2)
            continue;
        if (!chosen || box.range > boxes[*chosen].range ||
            (box.range == boxes[*chosen].range && box.pixels > boxes[*chosen].pixels)) {
            chosen = i;
        }
    }
    return chosen;
}

// Splits at the pixel-weighted median of the widest channel; both halves keep a colour.
std::pair<Box, Box> SplitBox(std::vector<ColourCount>& colours, const Box& box) {
    const auto first = colours.begin() + static_cast<std::ptrdiff_t>(box.begin);
    const auto last = colours.begin() + static_cast<std::ptrdiff_t>(box.end);
    // Colours are unique, so ordering by channel and then by colour is total: the order, and
    // with it the split, is the same whatever the sort's algorithm.
    std::sort(first, last, [axis = box.axis](const ColourCount& a, const ColourCount& b) {
        const std::uint32_t ca = Channel(a.colour, axis), cb = Channel(b.colour, axis);
        return ca != cb ? ca < cb : a.colour < b.colour;
    });
    std::uint64_t seen = 0;
    std::size_t split = box.end - 1;
    for (std::size_t i = box.begin; i < box.end; ++i) {
        seen += colours[i].pixels;
        if (2 * seen >= box.pixels) {
            split = i + 1;
            break;
        }
    }
    split = std::clamp(split, box.begin + 1, box.end - 1);
    return {DescribeBox(colours, box.begin, split), DescribeBox(colours, split, box.end)};
}

Rgb MeanColour(const std::vector<ColourCount>& colours, const Box& box) {
    std::uint64_t sums[3] = {0, 0, 0};
    for (std::size_t i = box.begin; i < box.end; ++i) {
        for (int axis = 0; axis < 3; ++axis)
            sums[axis] += std::uint64_t{Channel(colours[i].colour, axis)} * colours[i].pixels;
    }
    auto mean = [&](int axis) {
        return static_cast<std::uint8_t>((sums[axis] + box.pixels / 2) / box.pixels);
    };
    return Rgb{mean(0), mean(1), mean(2)};
}

// At most `size` colours standing for the given ones, in ascending order without repeats.
std::vector<Packed> MedianCut(std::vector<ColourCount> colours, std::size_t size) {
    std::vector<Box> boxes{DescribeBox(colours, 0, colours.size())};
    while (boxes.size() < size) {
        const std::optional<std::size_t> chosen = BoxToSplit(boxes);
        if (!chosen)
            break;
        auto [low, high] = SplitBox(colours, boxes[*chosen]);
        boxes[*chosen] = low;
        boxes.push_back(high);
    }
    std::vector<Packed> palette;
    for (const Box& box : boxes)
        palette.push_back(Pack(MeanColour(colours, box)));
    std::sort(palette.begin(), palette.end());
    palette.erase(std::unique(palette.begin(), palette.end()), palette.end());
    return palette;
}

std::uint32_t Distance(Packed a, Packed b) {
    std::uint32_t sum = 0;
    for (int axis = 0; axis < 3; ++axis) {
        const auto d = static_cast<std::int32_t>(Channel(a, axis)) -
                       static_cast<std::int32_t>(Channel(b, axis));
        sum += static_cast<std::uint32_t>(d * d);
    }
    return sum;
}

// Index of the nearest entry of an ascending palette (the lowest index among equals). The
// palette is ordered by red, so the search walks out from the colour's red value and stops
// where the red difference alone exceeds the best distance found.
std::size_t NearestEntry(const std::vector<Packed>& palette, Packed colour) {
    const std::uint32_t red = Channel(colour, 0);
    const auto start = static_cast<std::size_t>(
        std::lower_bound(palette.begin(), palette.end(), red << 16) - palette.begin());
    std::size_t best = palette.size();
    std::uint32_t bestDistance = UINT32_MAX;
    auto consider = [&](std::size_t i) {
        const std::uint32_t distance = Distance(palette[i], colour);
        if (distance < bestDistance || (distance == bestDistance && i < best)) {
            bestDistance = distance;
            best = i;
        }
    };
    auto tooFar = [&](std::size_t i) {
        const auto d =
            static_cast<std::int32_t>(Channel(palette[i], 0)) - static_cast<std::int32_t>(red);
        return static_cast<std::uint32_t>(d * d) > bestDistance;
    };
    for (std::size_t i = start; i < palette.size() && !tooFar(i); ++i)
        consider(i);
    for (std::size_t i = start; i-- > 0 && !tooFar(i);)
        consider(i);
    return best;
}

// An entry colour no opaque entry has, so that a reader keying on the colour instead of the
// index still keys only the transparent pixels. Magenta shows an artist at once what it is.
Rgb UnusedColour(const std::vector<Packed>& opaque) {
    for (std::uint32_t green = 0; green < 256; ++green) {
        const Packed candidate = 0xFF00FFu | (green << 8);
        if (!std::binary_search(opaque.begin(), opaque.end(), candidate))
            return Unpack(candidate);
    }
    return Unpack(0xFF00FFu);  // unreachable: at most 255 opaque entries beside it
}

}  // namespace

IndexedImage ToIndexed(const RgbaImage& image) {
    if (!FitsImageLimits(image.width, image.height) ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * image.height) {
        throw PackError("減色する画像の大きさ " + std::to_string(image.width) + "×" +
                        std::to_string(image.height) + " は扱えません。");
    }
    const std::vector<ColourCount> counts = CountOpaqueColours(image);
    const bool hasTransparent = std::any_of(image.pixels.begin(), image.pixels.end(),
                                            [](Rgba pixel) { return !IsOpaque(pixel); });
    const std::size_t capacity = kMaxPaletteSize - (hasTransparent ? 1 : 0);

    std::vector<Packed> opaque;
    std::vector<std::uint8_t> entryOf(counts.size());  // palette index per counted colour
    const std::size_t first = hasTransparent ? 1 : 0;
    if (counts.size() <= capacity) {
        for (std::size_t i = 0; i < counts.size(); ++i) {
            opaque.push_back(counts[i].colour);
            entryOf[i] = static_cast<std::uint8_t>(first + i);
        }
    } else {
        opaque = MedianCut(counts, capacity);
        for (std::size_t i = 0; i < counts.size(); ++i)
            entryOf[i] = static_cast<std::uint8_t>(first + NearestEntry(opaque, counts[i].colour));
    }

    IndexedImage indexed;
    indexed.width = image.width;
    indexed.height = image.height;
    if (hasTransparent) {
        indexed.palette.push_back(UnusedColour(opaque));
        indexed.transparentIndex = 0;
    }
    for (Packed colour : opaque)
        indexed.palette.push_back(Unpack(colour));
    indexed.indices.reserve(image.pixels.size());
    for (Rgba pixel : image.pixels) {
        if (!IsOpaque(pixel)) {
            indexed.indices.push_back(0);
            continue;
        }
        const auto found = std::lower_bound(
            counts.begin(), counts.end(), Pack(pixel),
            [](const ColourCount& count, Packed colour) { return count.colour < colour; });
        indexed.indices.push_back(entryOf[static_cast<std::size_t>(found - counts.begin())]);
    }
    return indexed;
}

void CheckIndexedImage(const IndexedImage& image) {
    auto refuse = [](const std::string& what) {
        throw PackError("インデックスカラー画像が正しくありません（" + what + "）。");
    };
    if (!FitsImageLimits(image.width, image.height)) {
        refuse("大きさ " + std::to_string(image.width) + "×" + std::to_string(image.height));
    }
    if (image.palette.empty() || image.palette.size() > kMaxPaletteSize)
        refuse("パレットの色数 " + std::to_string(image.palette.size()));
    if (image.indices.size() != static_cast<std::size_t>(image.width) * image.height)
        refuse("画素数 " + std::to_string(image.indices.size()));
    if (image.transparentIndex && *image.transparentIndex >= image.palette.size())
        refuse("透明色のインデックス " + std::to_string(*image.transparentIndex));
    for (std::uint8_t index : image.indices) {
        if (index >= image.palette.size())
            refuse("パレットにないインデックス " + std::to_string(index));
    }
}

RgbaImage ToRgba(const IndexedImage& image) {
    CheckIndexedImage(image);
    RgbaImage rgba = MakeRgbaImage(image.width, image.height);
    for (std::size_t i = 0; i < image.indices.size(); ++i) {
        const std::uint8_t index = image.indices[i];
        if (image.transparentIndex == index)
            continue;
        const Rgb colour = image.palette[index];
        rgba.pixels[i] = Rgba{colour.r, colour.g, colour.b, 255};
    }
    return rgba;
}

}  // namespace tovalin::pack

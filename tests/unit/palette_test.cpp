// Reducing RGBA pictures to an indexed palette: exact colours while they fit, nearest entries
// when they do not, and the one transparent index the player keys the outline on.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "pack/file_io.h"
#include "pack/palette.h"

namespace tovalin::pack {
namespace {

// The picture as its indexed form must show it: alpha below 128 transparent, otherwise opaque.
RgbaImage Binarised(RgbaImage image) {
    for (Rgba& p : image.pixels)
        p = p.a < 128 ? Rgba{} : Rgba{p.r, p.g, p.b, 255};
    return image;
}

std::uint32_t Distance(Rgb a, Rgba b) {
    auto d = [](int x, int y) { return static_cast<std::uint32_t>((x - y) * (x - y)); };
    return d(a.r, b.r) + d(a.g, b.g) + d(a.b, b.b);
}

RgbaImage Gradient(std::int32_t side) {
    RgbaImage image = MakeRgbaImage(side, side);
    for (std::int32_t y = 0; y < side; ++y) {
        for (std::int32_t x = 0; x < side; ++x)
            image.At(x, y) = Rgba{static_cast<std::uint8_t>(x * 255 / (side - 1)),
                                  static_cast<std::uint8_t>(y * 255 / (side - 1)),
                                  static_cast<std::uint8_t>((x + y) * 127 / (side - 1)), 255};
    }
    return image;
}

TEST(Palette, FewColoursAreKeptExactlyInAscendingOrder) {
    RgbaImage image = MakeRgbaImage(5, 3, Rgba{200, 10, 10, 255});
    image.At(1, 1) = Rgba{5, 6, 7, 130};  // half-transparent but nearer opaque
    image.At(2, 1) = Rgba{90, 90, 90, 255};
    image.At(4, 2) = Rgba{1, 2, 3, 127};  // nearer transparent
    image.At(3, 0) = Rgba{1, 2, 3, 0};
    const IndexedImage indexed = ToIndexed(image);
    ASSERT_TRUE(indexed.transparentIndex.has_value());
    EXPECT_EQ(*indexed.transparentIndex, 0);
    ASSERT_EQ(indexed.palette.size(), 4u);
    EXPECT_EQ(indexed.palette[1], (Rgb{5, 6, 7}));
    EXPECT_EQ(indexed.palette[2], (Rgb{90, 90, 90}));
    EXPECT_EQ(indexed.palette[3], (Rgb{200, 10, 10}));
    EXPECT_EQ(ToRgba(indexed), Binarised(image));
}

TEST(Palette, TopLeftPixelIsTransparentExactlyWhenItWas) {
    RgbaImage image = MakeRgbaImage(4, 4, Rgba{30, 40, 50, 255});
    image.At(3, 3).a = 0;
    IndexedImage indexed = ToIndexed(image);
    EXPECT_NE(indexed.indices[0], indexed.transparentIndex.value());
    image.At(0, 0).a = 0;
    indexed = ToIndexed(image);
    EXPECT_EQ(indexed.indices[0], indexed.transparentIndex.value());
    image.At(0, 0).a = 255;
    image.At(3, 3).a = 255;
    EXPECT_FALSE(ToIndexed(image).transparentIndex.has_value()) << "no transparent pixel";
}

TEST(Palette, TransparentEntryShareNoColourWithAnOpaqueOne) {
    // Magenta is the transparent entry's first choice; here it is taken by opaque pixels.
    RgbaImage image = MakeRgbaImage(3, 1, Rgba{255, 0, 255, 255});
    image.At(1, 0) = Rgba{255, 1, 255, 255};
    image.At(2, 0).a = 0;
    const IndexedImage indexed = ToIndexed(image);
    const Rgb clear = indexed.palette.at(*indexed.transparentIndex);
    for (std::size_t i = 0; i < indexed.palette.size(); ++i) {
        if (i != *indexed.transparentIndex) {
            EXPECT_NE(indexed.palette[i], clear) << i;
        }
    }
}

TEST(Palette, AllTransparentAndSingleColourPictures) {
    const IndexedImage clear = ToIndexed(MakeRgbaImage(2, 2));
    EXPECT_EQ(clear.palette.size(), 1u);
    EXPECT_EQ(ToRgba(clear), MakeRgbaImage(2, 2));
    const RgbaImage grey = MakeRgbaImage(1, 1, Rgba{7, 7, 7, 255});
    EXPECT_EQ(ToRgba(ToIndexed(grey)), grey);
}

TEST(Palette, TwoHundredFiftySixColoursFitOnlyWithoutTransparency) {
    RgbaImage image = MakeRgbaImage(16, 16);
    for (std::size_t i = 0; i < 256; ++i)
        image.pixels[i] = Rgba{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                               static_cast<std::uint8_t>(i * 7), 255};
    IndexedImage indexed = ToIndexed(image);
    EXPECT_EQ(indexed.palette.size(), 256u);
    EXPECT_EQ(ToRgba(indexed), image);

    image.pixels[100].a = 0;
    image.pixels[0] = Rgba{3, 250, 20, 255};  // 255 opaque colours remain
    indexed = ToIndexed(image);
    EXPECT_EQ(indexed.palette.size(), 256u);
    EXPECT_EQ(ToRgba(indexed), Binarised(image));
}

// The largest squared distance between a pixel and its entry; fails the test when an opaque
// pixel did not get its nearest opaque entry (the lowest index among equals).
std::uint32_t CheckNearest(const RgbaImage& image, const IndexedImage& indexed) {
    std::uint32_t worst = 0;
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        if (image.pixels[i].a < 128)
            continue;
        std::size_t nearest = 0;
        std::uint32_t best = UINT32_MAX;
        for (std::size_t e = 0; e < indexed.palette.size(); ++e) {
            const std::uint32_t d = Distance(indexed.palette[e], image.pixels[i]);
            if (e != indexed.transparentIndex && d < best) {
                best = d;
                nearest = e;
            }
        }
        EXPECT_EQ(indexed.indices[i], nearest) << "pixel " << i;
        worst = std::max(worst, best);
    }
    return worst;
}

TEST(Palette, ManyColoursTakeTheirNearestEntry) {
    RgbaImage image = Gradient(96);  // 9,216 pixels, thousands of colours
    image.At(0, 0).a = 0;
    // A smooth ramp leaves every pixel within a few steps of its colour in each channel.
    IndexedImage indexed = ToIndexed(image);
    ASSERT_EQ(indexed.palette.size(), 256u);
    EXPECT_EQ(indexed.indices[0], 0);
    EXPECT_LE(CheckNearest(image, indexed), 3u * 12 * 12);

    std::mt19937 random(3);
    for (int i = 0; i < 500; ++i)
        image.pixels[1 + random() % (image.pixels.size() - 1)] =
            Rgba{static_cast<std::uint8_t>(random()), static_cast<std::uint8_t>(random()),
                 static_cast<std::uint8_t>(random()), 255};
    indexed = ToIndexed(image);
    CheckNearest(image, indexed);
}

TEST(Palette, SamePixelsGiveTheSameResultWhateverTheirOrder) {
    // A mirror image has the same colours and counts: the same palette must come out.
    RgbaImage image = Gradient(40);
    RgbaImage mirrored = image;
    std::reverse(mirrored.pixels.begin(), mirrored.pixels.end());
    EXPECT_EQ(ToIndexed(image).palette, ToIndexed(mirrored).palette);
}

TEST(Palette, MalformedPicturesAreRefused) {
    RgbaImage image;
    EXPECT_THROW(ToIndexed(image), PackError);
    image = MakeRgbaImage(2, 2);
    image.pixels.pop_back();
    EXPECT_THROW(ToIndexed(image), PackError);
    EXPECT_THROW(MakeRgbaImage(32768, 1), PackError);
    EXPECT_THROW(MakeRgbaImage(4097, 4096), PackError);
    EXPECT_NO_THROW(MakeRgbaImage(4096, 4096));
}

}  // namespace
}  // namespace tovalin::pack

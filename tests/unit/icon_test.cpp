// ICO files: the layout the system reads, the reader's refusals, and the icon made from a
// character's first frame.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "pack/icon.h"

namespace tovalin::pack {
namespace {

constexpr Rgba kInk{10, 20, 30, 255};

std::uint32_t Get(const Bytes& b, std::size_t at, int width) {
    std::uint32_t v = 0;
    for (int i = width - 1; i >= 0; --i)
        v = (v << 8) | b.at(at + static_cast<std::size_t>(i));
    return v;
}

void Set(Bytes& b, std::size_t at, std::uint32_t v, int width) {
    for (int i = 0; i < width; ++i)
        b.at(at + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(v >> (8 * i));
}

// Distinct colours everywhere, transparent along the diagonal.
RgbaImage Pattern(std::int32_t width, std::int32_t height) {
    RgbaImage image = MakeRgbaImage(width, height);
    for (std::int32_t y = 0; y < height; ++y) {
        for (std::int32_t x = 0; x < width; ++x)
            image.At(x, y) =
                x == y ? Rgba{}
                       : Rgba{static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y), 77, 255};
    }
    return image;
}

TEST(IcoWriting, EntriesAreBottomUp32BitDibsWithAPaddedMask) {
    const RgbaImage picture = Pattern(33, 2);
    const Bytes ico = WriteIco(std::span(&picture, 1));
    EXPECT_EQ(Get(ico, 0, 2), 0u);
    EXPECT_EQ(Get(ico, 2, 2), 1u);
    EXPECT_EQ(Get(ico, 4, 2), 1u);
    EXPECT_EQ(ico[6], 33);
    EXPECT_EQ(ico[7], 2);
    EXPECT_EQ(Get(ico, 10, 2), 1u);   // planes
    EXPECT_EQ(Get(ico, 12, 2), 32u);  // bits per pixel
    const std::size_t offset = Get(ico, 18, 4);
    const std::size_t maskRow = 8;  // 33 bits padded to 4-byte units
    EXPECT_EQ(offset, 22u);
    EXPECT_EQ(Get(ico, 14, 4), 40 + (4 * 33 + maskRow) * 2);
    EXPECT_EQ(ico.size(), offset + Get(ico, 14, 4));
    EXPECT_EQ(Get(ico, offset, 4), 40u);
    EXPECT_EQ(Get(ico, offset + 4, 4), 33u);
    EXPECT_EQ(Get(ico, offset + 8, 4), 4u) << "height doubled for the mask";
    EXPECT_EQ(Get(ico, offset + 14, 2), 32u);
    // Top row last: pixel (2, 0) is in the second stored row, as B G R A.
    const std::size_t topRow = offset + 40 + 4 * 33;
    EXPECT_EQ(Get(ico, topRow + 8, 4), 0xFF02004Du);
    EXPECT_EQ(Get(ico, topRow, 4), 0u) << "transparent pixels are written as zero";
    // The mask of the top row, also stored last: only (0, 0) is set; (1, 1) in the row before.
    const std::size_t mask = offset + 40 + 4 * 33 * 2;
    EXPECT_EQ(Bytes(ico.begin() + static_cast<std::ptrdiff_t>(mask), ico.end()),
              (Bytes{0x40, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(IcoWriting, ReadsBackAsWritten) {
    std::vector<RgbaImage> pictures{Pattern(1, 1), Pattern(16, 16), Pattern(7, 33),
                                    Pattern(256, 256)};
    pictures[1].At(3, 4) = Rgba{1, 2, 3, 0};  // colour under alpha 0 is not kept
    const std::vector<IconEntry> entries = ReadIco(WriteIco(pictures));
    ASSERT_EQ(entries.size(), pictures.size());
    EXPECT_EQ(entries[3].width, 256);
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        RgbaImage expected = pictures[i];
        for (Rgba& p : expected.pixels)
            p = p.a == 0 ? Rgba{} : p;
        EXPECT_EQ(DecodeIconEntry(entries[i]), expected) << i;
        EXPECT_EQ(entries[i].bitCount, 32);
    }
    EXPECT_THROW(WriteIco(std::vector<RgbaImage>{Pattern(257, 1)}), PackError);
    EXPECT_THROW(WriteIco(std::vector<RgbaImage>{}), PackError);
}

TEST(IcoWriting, AnEntryWithoutAlphaTakesTransparencyFromItsMask) {
    const RgbaImage picture = Pattern(2, 2);
    std::vector<IconEntry> entries = ReadIco(WriteIco(std::span(&picture, 1)));
    for (std::size_t at = 40 + 3; at < 40 + 16; at += 4)
        entries[0].image[at] = 0;
    const RgbaImage decoded = DecodeIconEntry(entries[0]);
    EXPECT_EQ(decoded.At(0, 0).a, 0);
    EXPECT_EQ(decoded.At(1, 0).a, 255);
}

void ExpectRefused(const Bytes& ico, const std::string& expected) {
    try {
        ReadIco(ico);
        ADD_FAILURE() << "accepted; expected: " << expected;
    } catch (const PackError& e) {
        EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
    }
}

TEST(IcoReading, RefusesWhatTheSystemCouldNotUse) {
    const RgbaImage picture = Pattern(4, 4);
    const Bytes good = WriteIco(std::span(&picture, 1));
    ASSERT_NO_THROW(ReadIco(good));
    auto changed = [&](std::size_t at, std::uint32_t value, int width) {
        Bytes bad = good;
        Set(bad, at, value, width);
        return bad;
    };
    ExpectRefused({}, "ICO");
    ExpectRefused(changed(2, 2, 2), "ICO");  // a cursor
    ExpectRefused(changed(4, 0, 2), "画像が1つもありません");
    ExpectRefused(changed(4, 0xFFFF, 2), "目録が途中で切れています");
    ExpectRefused(changed(18, 6, 4), "目録と重なっています");
    ExpectRefused(changed(14, static_cast<std::uint32_t>(good.size()), 4), "範囲外");
    ExpectRefused(changed(14, 0, 4), "長さが 0");
    ExpectRefused(changed(22 + 4, 300, 4), "一辺 256");
    ExpectRefused(changed(22 + 8, 0, 4), "一辺 256");
    ExpectRefused(changed(22 + 14, 3, 2), "色数");
    ExpectRefused(changed(22 + 16, 4, 4), "圧縮形式 4");
    ExpectRefused(changed(22, 400, 4), "ヘッダーの長さ 400");
    Bytes shortened = changed(14, Get(good, 14, 4) - 1, 4);
    shortened.pop_back();
    ExpectRefused(shortened, "途中で切れています");

    Bytes png{0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0, 32, 0, 24, 0, 0, 0, 22, 0, 0, 0};
    const Bytes head{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13,
                     'I',  'H', 'D', 'R', 0,    0,    1,    0,    0, 0, 1, 0};  // 256 x 256
    png.insert(png.end(), head.begin(), head.end());
    EXPECT_EQ(ImageBitCount(ReadIco(png).at(0)), 32);
    png[22 + 18] = 2;  // 512 wide
    ExpectRefused(png, "512×256");
}

TEST(IcoReading, ReadsTheSampleIcon) {
    const auto path = std::filesystem::path(TOVALIN_SOURCE_DIR) / "assets/sample/tovalin.ico";
    const std::vector<IconEntry> entries = ReadIco(ReadWholeFile(path));
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries[0].width, 32);
}

TEST(CharacterIcon, FrameIsFittedCentredKeepingItsAspect) {
    // 40 x 20 into 16: 16 x 8 from row 4 to 11, each icon pixel the frame pixel under its centre.
    RgbaImage frame = MakeRgbaImage(40, 20, kInk);
    frame.At(1, 1).a = 0;    // under icon pixel (0, 0) of the fitted part
    frame.At(38, 18).a = 0;  // under icon pixel (15, 7)
    frame.At(2, 1).a = 0;    // between centres: not sampled
    const RgbaImage icon = FitToSquare(frame, 16);
    for (std::int32_t y = 0; y < 16; ++y) {
        for (std::int32_t x = 0; x < 16; ++x) {
            const bool inside = y >= 4 && y < 12;
            const bool hole = (x == 0 && y == 4) || (x == 15 && y == 11);
            EXPECT_EQ(icon.At(x, y), inside && !hole ? kInk : Rgba{}) << x << "," << y;
        }
    }
    const RgbaImage tall = FitToSquare(MakeRgbaImage(3, 48, kInk), 48);
    EXPECT_EQ(tall.At(21, 0), Rgba{});
    EXPECT_EQ(tall.At(22, 0), kInk);
    EXPECT_EQ(tall.At(24, 47), kInk);
    EXPECT_EQ(tall.At(25, 47), Rgba{});
}

TEST(CharacterIcon, SmallFramesGrowByWholePixelsAndAlphaBecomesAllOrNothing) {
    RgbaImage frame = MakeRgbaImage(2, 2, Rgba{200, 100, 50, 128});
    frame.At(1, 0) = Rgba{9, 9, 9, 127};
    const RgbaImage icon = FitToSquare(frame, 32);
    EXPECT_EQ(icon.At(0, 0), (Rgba{200, 100, 50, 255}));
    EXPECT_EQ(icon.At(15, 15), (Rgba{200, 100, 50, 255}));
    EXPECT_EQ(icon.At(16, 0), Rgba{});
    EXPECT_EQ(icon.At(31, 15), Rgba{});
    EXPECT_EQ(icon.At(16, 16), (Rgba{200, 100, 50, 255}));
}

TEST(CharacterIcon, HoldsTheThreeShellSizes) {
    const std::vector<IconEntry> entries = ReadIco(MakeCharacterIcon(Pattern(64, 40)));
    ASSERT_EQ(entries.size(), kCharacterIconSizes.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].width, kCharacterIconSizes[i]);
        const RgbaImage decoded = DecodeIconEntry(entries[i]);
        EXPECT_EQ(decoded, FitToSquare(Pattern(64, 40), kCharacterIconSizes[i]));
    }
    EXPECT_THROW(FitToSquare(Pattern(4, 4), 0), PackError);
    EXPECT_THROW(FitToSquare(RgbaImage{}, 16), PackError);
}

}  // namespace
}  // namespace tovalin::pack

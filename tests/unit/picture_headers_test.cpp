// The size claims of GIF, BMP and ICO headers, read without decoding: the limits at their exact
// edges, every GIF frame counted, and damaged headers refused without reading past the bytes.
#include "platform/picture_headers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "platform/byte_order.h"

namespace tovalin::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}
void Put32Be(Bytes& b, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        b.push_back(static_cast<std::uint8_t>(v >> shift));
}

struct Frame {
    std::uint16_t width, height;
};

// A GIF with a two-colour global palette, a graphic control extension before every image and a
// minimal image data block; only the claims matter here.
Bytes Gif(std::uint16_t width, std::uint16_t height, const std::vector<Frame>& frames) {
    Bytes b{'G', 'I', 'F', '8', '9', 'a'};
    Put16(b, width);
    Put16(b, height);
    b.insert(b.end(), {0x80, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF});
    for (const Frame& f : frames) {
        b.insert(b.end(), {0x21, 0xF9, 4, 1, 0, 0, 0, 0});
        b.push_back(0x2C);
        Put32(b, 0);
        Put16(b, f.width);
        Put16(b, f.height);
        b.insert(b.end(), {0, 2, 2, 0x44, 0x01, 0});
    }
    b.push_back(0x3B);
    return b;
}

Bytes InfoHeader(std::int32_t width, std::int32_t height) {
    Bytes b;
    Put32(b, 40);
    Put32(b, static_cast<std::uint32_t>(width));
    Put32(b, static_cast<std::uint32_t>(height));
    Put16(b, 1);
    Put16(b, 24);
    b.resize(40, 0);
    return b;
}

Bytes Bmp(const Bytes& dib) {
    Bytes b{'B', 'M'};
    Put32(b, static_cast<std::uint32_t>(14 + dib.size() + 4));
    Put32(b, 0);
    Put32(b, static_cast<std::uint32_t>(14 + dib.size()));
    b.insert(b.end(), dib.begin(), dib.end());
    b.resize(b.size() + 4, 0);
    return b;
}

Bytes Bmp(std::int32_t width, std::int32_t height) {
    return Bmp(InfoHeader(width, height));
}

Bytes CoreHeader(std::uint16_t width, std::uint16_t height) {
    Bytes b;
    Put32(b, 12);
    Put16(b, width);
    Put16(b, height);
    Put16(b, 1);
    Put16(b, 24);
    return b;
}

// An icon directory of one entry whose image (a DIB or a PNG) follows the directory.
Bytes Ico(const Bytes& image, std::uint16_t count = 1) {
    Bytes b;
    Put16(b, 0);
    Put16(b, 1);
    Put16(b, count);
    b.insert(b.end(), {0, 0, 0, 0});
    Put16(b, 1);
    Put16(b, 32);
    Put32(b, static_cast<std::uint32_t>(image.size()));
    Put32(b, 22);
    b.insert(b.end(), image.begin(), image.end());
    return b;
}

Bytes PngHead(std::uint32_t width, std::uint32_t height) {
    Bytes b{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    Put32Be(b, width);
    Put32Be(b, height);
    b.insert(b.end(), {8, 6, 0, 0, 0});
    return b;
}

// The reason the check gives, or "" when it accepts.
std::string Reason(const Bytes& bytes) {
    std::wstring reason = L"untouched";
    if (CheckPictureHeaders(bytes, &reason)) {
        EXPECT_EQ(reason, L"untouched") << "an accepted file must leave the reason alone";
        return "";
    }
    return std::string(reason.begin(), reason.end());
}

constexpr const char* kTooLarge = "picture is larger than 32767 pixels on a side";
constexpr const char* kTooMany = "picture has more than 16 Mi pixels";
constexpr const char* kNoPixels = "picture has no pixels";

TEST(PictureHeaders, SignaturesNameTheFormatAndNothingElseIsAccepted) {
    EXPECT_EQ(SniffPictureFormat(Gif(1, 1, {{1, 1}})), PictureFormat::kGif);
    EXPECT_EQ(SniffPictureFormat(Bmp(1, 1)), PictureFormat::kBmp);
    EXPECT_EQ(SniffPictureFormat(Ico(PngHead(1, 1))), PictureFormat::kIco);
    EXPECT_EQ(SniffPictureFormat(PngHead(1, 1)), PictureFormat::kPng);
    EXPECT_EQ(SniffPictureFormat(Bytes{'G', 'I', 'F'}), std::nullopt);
    // Only the two versions the decoder reads are GIF files.
    EXPECT_EQ(SniffPictureFormat(Bytes{'G', 'I', 'F', '8', '7', 'a'}), PictureFormat::kGif);
    EXPECT_EQ(SniffPictureFormat(Bytes{'G', 'I', 'F', '8', '8', 'a'}), std::nullopt);
    EXPECT_EQ(SniffPictureFormat(Bytes{}), std::nullopt);
    // A PNG is known, but it is no picture of the player's.
    EXPECT_EQ(Reason(PngHead(1, 1)), "not a GIF, BMP or ICO file");
    EXPECT_EQ(Reason(Bytes{}), "not a GIF, BMP or ICO file");
}

TEST(PictureHeaders, BmpSidesAreHeldToTheLimitsAtTheirEdges) {
    EXPECT_EQ(Reason(Bmp(32767, 1)), "");
    EXPECT_EQ(Reason(Bmp(1, 32767)), "");
    EXPECT_EQ(Reason(Bmp(32768, 1)), kTooLarge);
    EXPECT_EQ(Reason(Bmp(4096, 4096)), "");  // exactly 16 Mi pixels
    EXPECT_EQ(Reason(Bmp(4097, 4096)), kTooMany);
    EXPECT_EQ(Reason(Bmp(0, 5)), kNoPixels);
    EXPECT_EQ(Reason(Bmp(-5, 5)), kNoPixels);
    EXPECT_EQ(Reason(Bmp(5, 0)), kNoPixels);
    // A negative height is a top-down picture of that many rows.
    EXPECT_EQ(Reason(Bmp(5, -32767)), "");
    EXPECT_EQ(Reason(Bmp(5, -32768)), kTooLarge);
    EXPECT_EQ(Reason(Bmp(5, std::numeric_limits<std::int32_t>::min())), kTooLarge);
    // The core header's 16-bit sides are unsigned.
    EXPECT_EQ(Reason(Bmp(CoreHeader(32767, 2))), "");
    EXPECT_EQ(Reason(Bmp(CoreHeader(0xFFFF, 2))), kTooLarge);
}

TEST(PictureHeaders, DamagedBmpHeadersAreRefused) {
    Bytes sevenByteHeader = Bmp(2, 2);
    sevenByteHeader[14] = 7;
    EXPECT_EQ(Reason(sevenByteHeader), "broken BMP header");
    const Bytes bmp = Bmp(2, 2);
    EXPECT_EQ(Reason(Bytes(bmp.begin(), bmp.begin() + 25)), "broken BMP header");
    EXPECT_EQ(Reason(Bytes(bmp.begin(), bmp.begin() + 26)), "");  // the sides are all it reads
    EXPECT_EQ(Reason(Bytes{'B', 'M'}), "broken BMP header");
    const Bytes core = Bmp(CoreHeader(2, 2));
    EXPECT_EQ(Reason(Bytes(core.begin(), core.begin() + 25)), "broken BMP header");
}

TEST(PictureHeaders, EveryGifFrameCountsAndAllFramesShareABudget) {
    EXPECT_EQ(Reason(Gif(2, 2, {{2, 2}, {2, 2}})), "");
    EXPECT_EQ(Reason(Gif(32768, 1, {{1, 1}})), kTooLarge);
    EXPECT_EQ(Reason(Gif(2, 2, {{2, 2}, {1, 40000}})), kTooLarge);
    EXPECT_EQ(Reason(Gif(4096, 4096, {{4096, 4097}})), kTooMany);
    const Frame full{4096, 4096};  // 16 Mi pixels: four of them fill the budget exactly
    EXPECT_EQ(Reason(Gif(4096, 4096, {full, full, full, full})), "");
    EXPECT_EQ(Reason(Gif(4096, 4096, {full, full, full, full, {1, 1}})),
              "GIF frames hold too many pixels");
    // An empty logical screen or frame is not refused here; the decoder sees it.
    EXPECT_EQ(Reason(Gif(0, 0, {{0, 0}})), "");
}

TEST(PictureHeaders, GifsThatEndEarlyAreLeftToTheDecoder) {
    EXPECT_EQ(Reason(Bytes{'G', 'I', 'F', '8', '9', 'a', 8, 0}), "truncated GIF header");
    const Bytes gif = Gif(2, 2, {{2, 2}, {40000, 1}});
    // Cut inside the second image descriptor: its claim is unread, so nothing is refused.
    const std::size_t secondDescriptor = 13 + 6 + 23 + 8;  // header, palette, frame, extension
    ASSERT_EQ(gif[secondDescriptor], 0x2C);
    EXPECT_EQ(Reason(Bytes(gif.begin(), gif.begin() + secondDescriptor + 6)), "");
    EXPECT_EQ(Reason(Bytes(gif.begin(), gif.begin() + secondDescriptor + 10)), kTooLarge);
    // A colour table claimed larger than the file ends the walk, it does not overrun it.
    Bytes hugeTable = Gif(2, 2, {{2, 2}});
    hugeTable[10] = 0x87;
    EXPECT_EQ(Reason(hugeTable), "");
}

// The byte order of file fields: the same value whatever the host's order, each field exactly
// its width, and what is written reads back.
TEST(ByteOrder, FieldsReadAndWriteInTheirStatedOrder) {
    const Bytes b{0x01, 0x02, 0x03, 0x04, 0xFF, 0x80};
    struct Case {
        std::size_t at;
        int width;
        std::uint32_t little;
    };
    for (const Case& c : std::vector<Case>{{0, 1, 0x01},
                                           {0, 2, 0x0201},
                                           {1, 3, 0x040302},
                                           {0, 4, 0x04030201},
                                           {2, 4, 0x80FF0403}}) {
        EXPECT_EQ(ReadLittle(b, c.at, c.width), c.little) << c.at << " width " << c.width;
        Bytes written(6, 0xEE);
        WriteLittle(written, c.at, c.little, c.width);
        EXPECT_EQ(ReadLittle(written, c.at, c.width), c.little) << c.at << " width " << c.width;
        // Nothing outside the field is touched.
        EXPECT_EQ(std::count(written.begin(), written.end(), 0xEE), 6 - c.width);
        Bytes appended{0xAA};
        AppendLittle(appended, c.little, c.width);
        EXPECT_EQ(Bytes(appended.begin() + 1, appended.end()),
                  Bytes(b.begin() + static_cast<long>(c.at),
                        b.begin() + static_cast<long>(c.at) + c.width));
    }
    EXPECT_EQ(ReadLe16(b, 4), 0x80FF);
    EXPECT_EQ(ReadLe32(b, 1), 0xFF040302u);
    EXPECT_EQ(ReadBe32(b, 0), 0x01020304u);
    EXPECT_EQ(ReadBe32(b, 2), 0x0304FF80u);
}

// The sides the packer and the player both read from PNG and DIB headers, as stated: the limits
// are the callers' business, but a header that is not whole gives nothing.
TEST(DeclaredSides, PngAndDibHeadersGiveTheirSidesOrNothing) {
    using Sides = std::optional<std::pair<std::int64_t, std::int64_t>>;
    const auto pair = [](std::optional<PictureSides> sides) -> Sides {
        if (!sides)
            return std::nullopt;
        return std::pair{sides->width, sides->height};
    };
    Bytes wrongLength = PngHead(3, 4);
    wrongLength[11] = 12;
    Bytes wrongChunk = PngHead(3, 4);
    wrongChunk[12] = 'i';
    const Bytes png = PngHead(0x80000000u, 7);
    struct PngCase {
        const char* what;
        Bytes bytes;
        Sides sides;
    };
    for (const PngCase& c : std::vector<PngCase>{
             {"whole", PngHead(3, 4), std::pair<std::int64_t, std::int64_t>{3, 4}},
             {"sides past every limit", png,
              std::pair<std::int64_t, std::int64_t>{0x80000000LL, 7}},
             {"cut before the height ends", Bytes(png.begin(), png.begin() + 23), std::nullopt},
             {"IHDR of another length", wrongLength, std::nullopt},
             {"another chunk first", wrongChunk, std::nullopt},
             {"no PNG", Bmp(2, 2), std::nullopt}}) {
        EXPECT_EQ(pair(ReadPngSides(c.bytes)), c.sides) << c.what;
    }
    // Found where the caller says the PNG starts, as in an icon.
    EXPECT_EQ(pair(ReadPngSides(Ico(PngHead(5, 6)), 22)),
              (std::pair<std::int64_t, std::int64_t>{5, 6}));

    struct DibCase {
        const char* what;
        Bytes header;
        bool stacked;
        Sides sides;
    };
    const Bytes info = InfoHeader(-3, 9);
    for (const DibCase& c : std::vector<DibCase>{
             {"info header", InfoHeader(7, 9), false, std::pair<std::int64_t, std::int64_t>{7, 9}},
             {"top-down", InfoHeader(7, -9), false, std::pair<std::int64_t, std::int64_t>{7, 9}},
             {"negative width kept", info, false, std::pair<std::int64_t, std::int64_t>{-3, 9}},
             {"icon's stacked mask", InfoHeader(16, 32), true,
              std::pair<std::int64_t, std::int64_t>{16, 16}},
             {"core header", CoreHeader(300, 200), false,
              std::pair<std::int64_t, std::int64_t>{300, 200}},
             {"core header stacked", CoreHeader(32, 64), true,
              std::pair<std::int64_t, std::int64_t>{32, 32}},
             {"cut before the height", Bytes(info.begin(), info.begin() + 11), false,
              std::nullopt},
             {"header size 15", [] {
                  Bytes b = InfoHeader(1, 1);
                  b[0] = 15;
                  return b;
              }(),
              false, std::nullopt},
             {"nothing", Bytes{}, false, std::nullopt}}) {
        EXPECT_EQ(pair(ReadDibSides(c.header, 0, c.stacked)), c.sides) << c.what;
    }
}

TEST(PictureHeaders, OnlyTheFirstIconImageIsChecked) {
    // A DIB in an icon stacks colour and mask: its height is twice the picture's.
    Bytes dib = InfoHeader(32, 65534);
    EXPECT_EQ(Reason(Ico(dib)), "");
    dib = InfoHeader(32, 65536);
    EXPECT_EQ(Reason(Ico(dib)), kTooLarge);
    EXPECT_EQ(Reason(Ico(InfoHeader(16, 1))), kNoPixels);  // half a row is none
    EXPECT_EQ(Reason(Ico(PngHead(48, 48))), "");
    EXPECT_EQ(Reason(Ico(PngHead(32768, 1))), kTooLarge);
    EXPECT_EQ(Reason(Ico(PngHead(0x80000000u, 1))), kTooLarge);
    EXPECT_EQ(Reason(Ico(PngHead(1, 0))), kNoPixels);
}

TEST(PictureHeaders, DamagedIconDirectoriesAreRefused) {
    EXPECT_EQ(Reason(Ico(PngHead(1, 1), 0)), "icon holds no image");
    const Bytes png = Ico(PngHead(1, 1));
    EXPECT_EQ(Reason(Bytes(png.begin(), png.begin() + 21)), "broken icon directory");
    // The PNG's sides end 24 bytes into its image.
    EXPECT_EQ(Reason(Bytes(png.begin(), png.begin() + 22 + 23)), "broken icon directory");
    EXPECT_EQ(Reason(Bytes(png.begin(), png.begin() + 22 + 24)), "");
    Bytes outside = Ico(InfoHeader(2, 4));
    outside[18] = 0xF0;
    outside[19] = outside[20] = outside[21] = 0xFF;
    EXPECT_EQ(Reason(outside), "broken icon directory");
    Bytes shortDib = Ico(Bytes{40, 0, 0, 0, 2, 0, 0, 0, 4, 0, 0});
    EXPECT_EQ(Reason(shortDib), "broken icon directory");
}

TEST(PictureHeaders, TheSampleArtPasses) {
    const std::filesystem::path assets = std::filesystem::path(TOVALIN_SOURCE_DIR) / "assets";
    int checked = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(assets)) {
        const std::string extension = entry.path().extension().string();
        if (extension != ".gif" && extension != ".bmp" && extension != ".ico")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        EXPECT_EQ(Reason(bytes), "") << entry.path();
        ++checked;
    }
    if (checked == 0)
        GTEST_SKIP() << "no pictures under " << assets;
    EXPECT_GE(checked, 57);  // 50 frames, the icon, six favourites
}

}  // namespace
}  // namespace tovalin::platform

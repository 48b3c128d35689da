// PNG, BMP and ICO frames as the Windows packer and the studio read them with WIC: straight
// alpha kept and cut at half opacity, BMPs opaque, the largest icon entry, and hostile files
// refused with the file's name, a huge declared picture before WIC sees it.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pack/character.h"
#include "pack/gif_decoder.h"
#include "pack/icon.h"
#include "pack/picture_file.h"
#include "support/png_file.h"

namespace tovalin::pack {
namespace {

namespace fs = std::filesystem;

// A picture of distinct colours with alpha on both sides of one half.
RgbaImage Drawing() {
    RgbaImage picture = MakeRgbaImage(6, 4);
    const std::uint8_t alphas[] = {0, 1, 127, 128, 200, 255};
    for (std::int32_t y = 0; y < picture.height; ++y) {
        for (std::int32_t x = 0; x < picture.width; ++x) {
            picture.At(x, y) = Rgba{static_cast<std::uint8_t>(40 * x + 10),
                                    static_cast<std::uint8_t>(60 * y + 5), 77, alphas[x]};
        }
    }
    return picture;
}

// A 24-bit BMP, bottom-up rows padded to four bytes.
Bytes Bmp(const RgbaImage& picture) {
    const std::uint32_t stride = (static_cast<std::uint32_t>(picture.width) * 3 + 3) & ~3u;
    const std::uint32_t pixels = stride * static_cast<std::uint32_t>(picture.height);
    Bytes bmp(54 + pixels, 0);
    auto put = [&bmp](std::size_t at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            bmp[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put(2, static_cast<std::uint32_t>(bmp.size()));
    put(10, 54);
    put(14, 40);
    put(18, static_cast<std::uint32_t>(picture.width));
    put(22, static_cast<std::uint32_t>(picture.height));
    bmp[26] = 1;
    bmp[28] = 24;
    put(34, pixels);
    for (std::int32_t y = 0; y < picture.height; ++y) {
        std::size_t at = 54 + static_cast<std::size_t>(picture.height - 1 - y) * stride;
        for (std::int32_t x = 0; x < picture.width; ++x, at += 3) {
            const Rgba p = picture.At(x, y);
            bmp[at] = p.b;
            bmp[at + 1] = p.g;
            bmp[at + 2] = p.r;
        }
    }
    return bmp;
}

std::string Refusal(const Bytes& bytes, PictureFormat kind, const std::string& name) {
    try {
        DecodeStillPicture(bytes, kind, name);
    } catch (const PackError& error) {
        return error.what();
    }
    return "(decoded)";
}

TEST(WicFrames, PngKeepsStraightAlphaAndIsCutAtHalfOpacity) {
    const RgbaImage drawing = Drawing();
    const RgbaImage decoded =
        DecodeStillPicture(support::EncodePng(drawing), PictureFormat::kPng, "a.png");
    ASSERT_EQ(decoded.width, drawing.width);
    ASSERT_EQ(decoded.height, drawing.height);
    for (std::int32_t x = 2; x < drawing.width; ++x) {
        // Colours of pixels that stay must not have been premultiplied on the way.
        EXPECT_EQ(decoded.At(x, 1), drawing.At(x, 1)) << x;
    }
    const Bytes gif = PackageFrames(PictureFrame{"a.png", decoded}, 1).front().gif;
    const RgbaImage shown = DecodeGifFirstFrame(gif);
    for (std::int32_t x = 0; x < drawing.width; ++x)
        EXPECT_EQ(shown.At(x, 2).a, x >= 3 ? 255 : 0) << x;
}

TEST(WicFrames, BmpIsOpaqueWithItsColours) {
    RgbaImage picture = Drawing();
    for (Rgba& p : picture.pixels)
        p.a = 255;
    const RgbaImage decoded = DecodeStillPicture(Bmp(picture), PictureFormat::kBmp, "a.bmp");
    EXPECT_EQ(decoded, picture);
}

TEST(WicFrames, IcoGivesItsLargestEntry) {
    const std::vector<RgbaImage> pictures{MakeRgbaImage(16, 16, Rgba{255, 0, 0, 255}),
                                          MakeRgbaImage(48, 48, Rgba{0, 128, 0, 255}),
                                          MakeRgbaImage(32, 32, Rgba{0, 0, 255, 255})};
    std::vector<RgbaImage> entries = pictures;
    entries[1].At(0, 0) = Rgba{};  // a transparent corner, from the entry's alpha
    const RgbaImage decoded = DecodeStillPicture(WriteIco(entries), PictureFormat::kIco, "a.ico");
    ASSERT_EQ(decoded.width, 48);
    EXPECT_EQ(decoded.At(0, 0).a, 0);
    EXPECT_EQ(decoded.At(20, 20), (Rgba{0, 128, 0, 255}));
}

TEST(WicFrames, ABrokenPngIsRefusedByName) {
    Bytes png = support::EncodePng(Drawing());
    const std::size_t data = png.size() - 12 - 4 - 40;  // inside the IDAT chunk's stream
    for (std::size_t i = data; i < data + 30; ++i)
        png[i] ^= 0x5A;
    const std::string refusal = Refusal(png, PictureFormat::kPng, "broken.png");
    EXPECT_NE(refusal.find("「broken.png」"), std::string::npos) << refusal;
}

TEST(WicFrames, AHugeDeclaredPictureIsRefusedBeforeDecoding) {
    const std::string refusal =
        Refusal(support::PngClaiming(30000, 30000), PictureFormat::kPng, "huge.png");
    EXPECT_NE(refusal.find("「huge.png」"), std::string::npos) << refusal;
    EXPECT_NE(refusal.find("30000×30000"), std::string::npos) << refusal;
}

TEST(WicFrames, AFrameFileIsReadByItsContentNotItsName) {
    wchar_t temp[MAX_PATH + 1];
    ::GetTempPathW(MAX_PATH + 1, temp);
    const fs::path file = fs::path(temp) / (L"tovalin-フレーム-" +
                                            std::to_wstring(::GetCurrentProcessId()) + L".gif");
    {
        const Bytes png = support::EncodePng(Drawing());
        std::ofstream stream(file, std::ios::binary);
        stream.write(reinterpret_cast<const char*>(png.data()),
                     static_cast<std::streamsize>(png.size()));
    }
    const FrameSource source = ReadFrameFile(file);
    fs::remove(file);
    ASSERT_TRUE(std::holds_alternative<PictureFrame>(source));
    EXPECT_EQ(std::get<PictureFrame>(source).picture.width, 6);
}

}  // namespace
}  // namespace tovalin::pack

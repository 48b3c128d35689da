// Decoding GIF, BMP and ICO files: transparency over the given background, first frames only,
// clean failures for damaged or hostile files, GIF files read as the imaging component reads
// them, and COM only where the imaging component is used. Small files are written byte by byte
// here.
#include <windows.h>
#include <objbase.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <variant>
#include <vector>

#include "pack/picture_file.h"
#include "platform/handles_win32.h"
#include "platform/picture_win32.h"
#include "platform/text_win32.h"
#include "support/png_file.h"
#include "support/support_win32.h"

namespace tovalin::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kBackground = 0x123456;

void Put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(Bytes& b, std::uint32_t v) {
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

// LZW data that only ever holds literal codes: a clear code before every second pixel keeps
// the code table, and so the code width, from growing.
Bytes GifLzw(const std::vector<std::uint8_t>& indices, unsigned minCodeSize) {
    const unsigned clear = 1u << minCodeSize, end = clear + 1, width = minCodeSize + 1;
    Bytes packed;
    std::uint32_t acc = 0;
    unsigned bits = 0;
    auto emit = [&](unsigned code) {
        acc |= code << bits;
        bits += width;
        while (bits >= 8) {
            packed.push_back(static_cast<std::uint8_t>(acc));
            acc >>= 8;
            bits -= 8;
        }
    };
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (i % 2 == 0)
            emit(clear);
        emit(indices[i]);
    }
    emit(end);
    if (bits > 0)
        packed.push_back(static_cast<std::uint8_t>(acc));
    Bytes blocks{static_cast<std::uint8_t>(minCodeSize)};
    for (std::size_t i = 0; i < packed.size(); i += 255) {
        const std::size_t n = std::min<std::size_t>(255, packed.size() - i);
        blocks.push_back(static_cast<std::uint8_t>(n));
        blocks.insert(blocks.end(), packed.begin() + static_cast<long>(i),
                      packed.begin() + static_cast<long>(i + n));
    }
    blocks.push_back(0);
    return blocks;
}

struct GifImage {
    std::uint16_t left = 0, top = 0, width = 0, height = 0;
    std::vector<std::uint8_t> indices;
    int transparent = -1;
};

// A GIF with a four-colour global palette (0x00RRGGBB) and the given images.
Bytes Gif(std::uint16_t width, std::uint16_t height, const std::array<std::uint32_t, 4>& palette,
          const std::vector<GifImage>& images) {
    Bytes b{'G', 'I', 'F', '8', '9', 'a'};
    Put16(b, width);
    Put16(b, height);
    b.insert(b.end(), {0x91, 0, 0});  // global table of 4 colours
    for (std::uint32_t c : palette)
        b.insert(b.end(), {static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 8),
                           static_cast<std::uint8_t>(c)});
    for (const GifImage& image : images) {
        const bool hasKey = image.transparent >= 0;
        b.insert(b.end(), {0x21, 0xF9, 4, static_cast<std::uint8_t>(hasKey ? 0x09 : 0x08), 10, 0,
                           static_cast<std::uint8_t>(hasKey ? image.transparent : 0), 0});
        b.push_back(0x2C);
        Put16(b, image.left);
        Put16(b, image.top);
        Put16(b, image.width);
        Put16(b, image.height);
        b.push_back(0);
        const Bytes data = GifLzw(image.indices, 2);
        b.insert(b.end(), data.begin(), data.end());
    }
    b.push_back(0x3B);
    return b;
}

// A bottom-up 24-bit BMP of the given top-down pixels.
Bytes Bmp(std::int32_t width, std::int32_t height, const std::vector<std::uint32_t>& pixels) {
    const std::uint32_t stride = (static_cast<std::uint32_t>(width) * 3 + 3) & ~3u;
    const std::uint32_t imageSize = stride * static_cast<std::uint32_t>(height);
    Bytes b{'B', 'M'};
    Put32(b, 54 + imageSize);
    Put32(b, 0);
    Put32(b, 54);
    Put32(b, 40);
    Put32(b, static_cast<std::uint32_t>(width));
    Put32(b, static_cast<std::uint32_t>(height));
    Put16(b, 1);
    Put16(b, 24);
    for (std::uint32_t v : {0u, imageSize, 2835u, 2835u, 0u, 0u})
        Put32(b, v);
    for (std::int32_t y = height - 1; y >= 0; --y) {
        for (std::int32_t x = 0; x < width; ++x) {
            const std::uint32_t c = pixels[static_cast<std::size_t>(y * width + x)];
            b.insert(b.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8),
                               static_cast<std::uint8_t>(c >> 16)});
        }
        b.resize(b.size() + (stride - static_cast<std::uint32_t>(width) * 3));
    }
    return b;
}

struct IconImage {
    std::int32_t size = 0;
    std::vector<std::uint32_t> argb;  // top-down; alpha only used with bits = 32
    std::vector<bool> masked;         // top-down AND mask: true = transparent
    int bits = 24;
};

Bytes IconDib(const IconImage& image) {
    const auto n = static_cast<std::uint32_t>(image.size);
    const std::uint32_t colourStride = (n * static_cast<std::uint32_t>(image.bits) / 8 + 3) & ~3u;
    const std::uint32_t maskStride = ((n + 31) / 32) * 4;
    Bytes b;
    Put32(b, 40);
    Put32(b, n);
    Put32(b, 2 * n);
    Put16(b, 1);
    Put16(b, static_cast<std::uint32_t>(image.bits));
    for (std::uint32_t v : {0u, (colourStride + maskStride) * n, 0u, 0u, 0u, 0u})
        Put32(b, v);
    for (std::int32_t y = image.size - 1; y >= 0; --y) {
        const std::size_t rowStart = b.size();
        for (std::int32_t x = 0; x < image.size; ++x) {
            const std::uint32_t c = image.argb[static_cast<std::size_t>(y * image.size + x)];
            b.insert(b.end(), {static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(c >> 8),
                               static_cast<std::uint8_t>(c >> 16)});
            if (image.bits == 32)
                b.push_back(static_cast<std::uint8_t>(c >> 24));
        }
        b.resize(rowStart + colourStride);
    }
    for (std::int32_t y = image.size - 1; y >= 0; --y) {
        const std::size_t rowStart = b.size();
        b.resize(rowStart + maskStride);
        for (std::int32_t x = 0; x < image.size; ++x)
            if (image.masked[static_cast<std::size_t>(y * image.size + x)])
                b[rowStart + static_cast<std::size_t>(x / 8)] |=
                    static_cast<std::uint8_t>(0x80 >> (x % 8));
    }
    return b;
}

Bytes Ico(const std::vector<IconImage>& images) {
    Bytes b{0, 0, 1, 0};
    Put16(b, static_cast<std::uint32_t>(images.size()));
    std::vector<Bytes> dibs;
    for (const IconImage& image : images)
        dibs.push_back(IconDib(image));
    std::uint32_t offset = 6 + 16 * static_cast<std::uint32_t>(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        b.insert(b.end(), {static_cast<std::uint8_t>(images[i].size),
                           static_cast<std::uint8_t>(images[i].size), 0, 0});
        Put16(b, 1);
        Put16(b, static_cast<std::uint32_t>(images[i].bits));
        Put32(b, static_cast<std::uint32_t>(dibs[i].size()));
        Put32(b, offset);
        offset += static_cast<std::uint32_t>(dibs[i].size());
    }
    for (const Bytes& dib : dibs)
        b.insert(b.end(), dib.begin(), dib.end());
    return b;
}

std::uint32_t Blend(std::uint32_t colour, std::uint32_t alpha, std::uint32_t background) {
    std::uint32_t out = 0;
    for (int shift : {0, 8, 16}) {
        const std::uint32_t c = (colour >> shift) & 0xFF, b = (background >> shift) & 0xFF;
        out |= ((c * alpha + b * (255 - alpha) + 127) / 255) << shift;
    }
    return out;
}

class PictureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
        folder_ =
            std::wstring(temp) + L"tovalin-picture-" + std::to_wstring(::GetCurrentProcessId());
        ASSERT_TRUE(::CreateDirectoryW(folder_.c_str(), nullptr) ||
                    ::GetLastError() == ERROR_ALREADY_EXISTS);
    }
    void TearDown() override {
        for (const std::wstring& path : written_)
            ::DeleteFileW(path.c_str());
        ::RemoveDirectoryW(folder_.c_str());
    }

    std::wstring Write(const std::wstring& name, const Bytes& bytes) {
        const std::wstring path = folder_ + L"\\" + name;
        UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_TRUE(file);
        DWORD done = 0;
        if (!bytes.empty()) {
            EXPECT_TRUE(::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                    &done, nullptr));
        }
        written_.push_back(path);
        return path;
    }

    DecodedPicture Decode(const std::wstring& path) {
        std::wstring error;
        auto picture = DecodePicture(path, kBackground, &error);
        EXPECT_TRUE(picture) << ToUtf8(path) << ": " << ToUtf8(error);
        if (!picture)
            return {};
        EXPECT_EQ(picture->pixels.size(), static_cast<std::size_t>(picture->width) *
                                              static_cast<std::size_t>(picture->height));
        return std::move(*picture);
    }

    // Fails with a reason and no picture.
    void ExpectRejected(const std::wstring& path) {
        std::wstring error;
        EXPECT_FALSE(DecodePicture(path, kBackground, &error)) << ToUtf8(path);
        EXPECT_FALSE(error.empty()) << ToUtf8(path);
    }

    std::wstring folder_;
    std::vector<std::wstring> written_;
};

constexpr std::array<std::uint32_t, 4> kPalette = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};

TEST_F(PictureTest, GifTransparentIndexTakesTheBackgroundExactly) {
    const GifImage image{0, 0, 3, 2, {0, 1, 3, 3, 2, 0}, 3};
    const DecodedPicture p = Decode(Write(L"t.gif", Gif(3, 2, kPalette, {image})));
    EXPECT_EQ(p.width, 3);
    EXPECT_EQ(p.height, 2);
    EXPECT_EQ(p.pixels, (std::vector<std::uint32_t>{0xFF0000, 0x00FF00, kBackground, kBackground,
                                                    0x0000FF, 0xFF0000}));
}

TEST_F(PictureTest, AnimatedGifGivesItsFirstFrameOnly) {
    const GifImage first{0, 0, 2, 2, {0, 1, 2, 3}, -1};
    const GifImage second{0, 0, 2, 2, {3, 3, 3, 3}, -1};
    const DecodedPicture p = Decode(Write(L"anim.gif", Gif(2, 2, kPalette, {first, second})));
    EXPECT_EQ(p.pixels, (std::vector<std::uint32_t>{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}));
}

TEST_F(PictureTest, GifFirstFrameSmallerThanItsScreenIsPlacedOnIt) {
    const GifImage image{1, 1, 2, 1, {0, 2}, -1};
    const DecodedPicture p = Decode(Write(L"offset.gif", Gif(4, 3, kPalette, {image})));
    ASSERT_EQ(p.width, 4);
    ASSERT_EQ(p.height, 3);
    std::vector<std::uint32_t> expected(12, kBackground);
    expected[5] = 0xFF0000;
    expected[6] = 0x0000FF;
    EXPECT_EQ(p.pixels, expected);
}

TEST_F(PictureTest, BmpIsOpaqueAndTopRowFirst) {
    const std::vector<std::uint32_t> pixels = {0x010203, 0xA0B0C0, 0xFFFFFF,
                                               0x000000, 0x123456, 0x7F7F7F};
    const DecodedPicture p = Decode(Write(L"b.bmp", Bmp(3, 2, pixels)));
    EXPECT_EQ(p.width, 3);
    EXPECT_EQ(p.height, 2);
    EXPECT_EQ(p.pixels, pixels);
}

TEST_F(PictureTest, IconMaskCutsToTheBackgroundAndOnlyTheFirstImageCounts) {
    IconImage image{4, std::vector<std::uint32_t>(16, 0x00C08040), std::vector<bool>(16, false),
                    24};
    image.masked[0] = image.masked[5] = image.masked[15] = true;
    image.argb[6] = 0x00010203;
    IconImage larger{8, std::vector<std::uint32_t>(64, 0x00FFFFFF), std::vector<bool>(64, false),
                     24};
    const DecodedPicture p = Decode(Write(L"i.ico", Ico({image, larger})));
    ASSERT_EQ(p.width, 4);
    ASSERT_EQ(p.height, 4);
    std::vector<std::uint32_t> expected(16, 0xC08040);
    expected[0] = expected[5] = expected[15] = kBackground;
    expected[6] = 0x010203;
    EXPECT_EQ(p.pixels, expected);
}

TEST_F(PictureTest, IconAlphaIsBlendedOverTheBackground) {
    IconImage image{
        2, {0xFF102030, 0x80F0E0D0, 0x00FFFFFF, 0x40000000}, std::vector<bool>(4, false), 32};
    const DecodedPicture p = Decode(Write(L"alpha.ico", Ico({image})));
    EXPECT_EQ(p.pixels, (std::vector<std::uint32_t>{0x102030, Blend(0xF0E0D0, 0x80, kBackground),
                                                    kBackground, Blend(0, 0x40, kBackground)}));
}

TEST_F(PictureTest, DamagedAndForeignFilesFailCleanly) {
    const GifImage image{0, 0, 8, 8, std::vector<std::uint8_t>(64, 1), -1};
    Bytes gif = Gif(8, 8, kPalette, {image});
    gif.resize(gif.size() - 12);  // cut inside the image data
    ExpectRejected(Write(L"truncated.gif", gif));
    ExpectRejected(Write(L"header-only.gif", Bytes{'G', 'I', 'F', '8', '9', 'a', 8, 0}));
    ExpectRejected(Write(L"empty.gif", {}));
    ExpectRejected(Write(L"text.gif", Bytes{'h', 'e', 'l', 'l', 'o', '\r', '\n'}));
    ExpectRejected(folder_ + L"\\missing.bmp");

    Bytes bmp = Bmp(2, 2, {1, 2, 3, 4});
    Bytes badHeaderSize = bmp;
    badHeaderSize[14] = 7;  // no DIB header is 7 bytes long
    ExpectRejected(Write(L"header-size.bmp", badHeaderSize));
    Bytes badDepth = bmp;
    badDepth[28] = 13;  // 13 bits per pixel
    ExpectRejected(Write(L"depth.bmp", badDepth));
    ExpectRejected(Write(L"cut.bmp", Bytes(bmp.begin(), bmp.begin() + 20)));

    Bytes ico =
        Ico({IconImage{2, std::vector<std::uint32_t>(4, 0), std::vector<bool>(4, false), 24}});
    ico[18] = 0xF0;  // the image's offset points past the end
    ExpectRejected(Write(L"offset.ico", ico));
}

// Claims are refused from the headers alone: the reason DecodePicture gives is the header
// check's, so no decoder ever saw the file (some would allocate the claimed size on opening it).
TEST_F(PictureTest, OversizeClaimsAreRefusedBeforeDecoding) {
    const GifImage tiny{0, 0, 2, 2, {0, 1, 2, 3}, -1};
    const Bytes hugeGif = Gif(30000, 30000, kPalette, {GifImage{0, 0, 30000, 30000, {0, 1}, -1}});
    const Bytes hugeSecondFrame =
        Gif(2, 2, kPalette, {tiny, GifImage{0, 0, 30000, 30000, {0}, -1}});
    const GifImage big{0, 0, 4000, 4000, {0}, -1};  // 16 M pixels each, 80 M in all
    const Bytes manyFrames = Gif(4000, 4000, kPalette, {big, big, big, big, big});
    Bytes hugeBmp = Bmp(1, 1, {0});
    for (std::size_t i : {18u, 22u}) {  // 30,000 x 30,000, with one pixel's data
        hugeBmp[i] = 0x30;
        hugeBmp[i + 1] = 0x75;
    }
    Bytes wideBmp = Bmp(1, 1, {0});
    wideBmp[18] = 0x40;  // 40,000 x 1
    wideBmp[19] = 0x9C;
    Bytes hugeIcon =
        Ico({IconImage{2, std::vector<std::uint32_t>(4, 0), std::vector<bool>(4, false), 24}});
    const std::size_t dib = 6 + 16;
    hugeIcon[dib + 4] = hugeIcon[dib + 8] = 0;
    hugeIcon[dib + 5] = hugeIcon[dib + 9] = 0x80;  // 32,768 wide, 16,384 high

    for (auto [name, bytes] : {std::pair{L"huge.gif", &hugeGif},
                               {L"second-frame.gif", &hugeSecondFrame},
                               {L"many-frames.gif", &manyFrames},
                               {L"huge.bmp", &hugeBmp},
                               {L"wide.bmp", &wideBmp},
                               {L"huge.ico", &hugeIcon}}) {
        std::wstring headerReason, error;
        EXPECT_FALSE(CheckPictureHeaders(*bytes, &headerReason)) << ToUtf8(name);
        EXPECT_FALSE(DecodePicture(Write(name, *bytes), kBackground, &error)) << ToUtf8(name);
        EXPECT_EQ(ToUtf8(error), ToUtf8(headerReason)) << ToUtf8(name);
    }
    EXPECT_TRUE(CheckPictureHeaders(Gif(2, 2, kPalette, {tiny, tiny})));
    // The largest side accepted.
    const std::vector<std::uint32_t> line(32767, 0x00FF00);
    EXPECT_EQ(Decode(Write(L"line.bmp", Bmp(32767, 1, line))).width, 32767);
}

// What a thread that has never started COM finds in it after decoding a picture.
struct ComAfterDecoding {
    bool decoded = false;
    HRESULT apartment = E_FAIL;
    APTTYPE type = APTTYPE_CURRENT;
};

ComAfterDecoding DecodeOnANewThread(const std::wstring& path) {
    ComAfterDecoding seen;
    std::thread([&] {
        seen.decoded = DecodePicture(path, kBackground).has_value();
        APTTYPEQUALIFIER qualifier{};
        seen.apartment = ::CoGetApartmentType(&seen.type, &qualifier);
    }).join();
    return seen;
}

// A GIF needs no COM; a BMP or an icon starts it on the thread that decodes it, which need not
// have started it itself.
TEST_F(PictureTest, OnlyTheImagingComponentsFormatsStartCom) {
    const GifImage image{0, 0, 2, 2, {0, 1, 2, 3}, -1};
    const ComAfterDecoding gif =
        DecodeOnANewThread(Write(L"com.gif", Gif(2, 2, kPalette, {image})));
    EXPECT_TRUE(gif.decoded);
    EXPECT_EQ(gif.apartment, CO_E_NOTINITIALIZED);

    for (const std::wstring& path :
         {Write(L"com.bmp", Bmp(2, 1, {0x010203, 0x040506})),
          Write(L"com.ico", Ico({IconImage{2, std::vector<std::uint32_t>(4, 0x00C08040),
                                           std::vector<bool>(4, false), 24}}))}) {
        const ComAfterDecoding still = DecodeOnANewThread(path);
        EXPECT_TRUE(still.decoded) << ToUtf8(path);
        EXPECT_EQ(still.apartment, S_OK) << ToUtf8(path);
        // Single-threaded, as the imaging component's callers have always had it (the first such
        // apartment of a process is its main one).
        EXPECT_TRUE(still.type == APTTYPE_STA || still.type == APTTYPE_MAINSTA) << ToUtf8(path);
    }
}

// The one imaging-component decoder the player and the packer share: the frame asked for, its
// sides shown to the caller before any pixel is converted, and each failure named by its step.
TEST(WicDecoder, GivesTheFrameAskedForOrTheStepThatFailed) {
    const IconImage small{2, std::vector<std::uint32_t>(4, 0x00C08040), std::vector<bool>(4, false),
                          24};
    const IconImage large{3, std::vector<std::uint32_t>(9, 0x80102030), std::vector<bool>(9, false),
                          32};
    const Bytes ico = Ico({small, large});
    const Bytes bmp = Bmp(2, 1, {0x010203, 0x040506});
    pack::RgbaImage drawing = pack::MakeRgbaImage(4, 2, pack::Rgba{10, 20, 30, 255});
    drawing.At(3, 1) = pack::Rgba{200, 100, 50, 0};
    const Bytes png = support::EncodePng(drawing);
    struct Case {
        const char* what;
        Bytes bytes;
        PictureFormat format;
        std::uint32_t frame;
        bool acceptSides;
        std::optional<WicFailure> failure;
        std::uint32_t width = 0, height = 0, firstPixel = 0, lastPixel = 0;
    };
    const std::vector<Case> cases{
        {"BMP", bmp, PictureFormat::kBmp, 0, true, {}, 2, 1, 0xFF010203, 0xFF040506},
        {"PNG", png, PictureFormat::kPng, 0, true, {}, 4, 2, 0xFF0A141E, 0x00C86432},
        {"icon's first entry", ico, PictureFormat::kIco, 0, true, {}, 2, 2, 0xFFC08040, 0xFFC08040},
        {"icon's second entry",
         ico,
         PictureFormat::kIco,
         1,
         true,
         {},
         3,
         3,
         0x80102030,
         0x80102030},
        {"no such entry", ico, PictureFormat::kIco, 2, true, WicFailure::kNoFrame},
        {"sides refused", bmp, PictureFormat::kBmp, 0, false, WicFailure::kSidesRefused},
        {"an icon read as a BMP", ico, PictureFormat::kBmp, 0, true, WicFailure::kUndecodable},
        {"three bytes", Bytes{1, 2, 3}, PictureFormat::kPng, 0, true, WicFailure::kUndecodable},
    };
    for (const Case& c : cases) {
        std::optional<std::pair<std::uint32_t, std::uint32_t>> shown;
        const auto decoded = DecodeWithWic(c.bytes, c.format, c.frame,
                                           [&](std::uint32_t width, std::uint32_t height) {
                                               shown = std::pair{width, height};
                                               return c.acceptSides;
                                           });
        if (c.failure) {
            ASSERT_TRUE(std::holds_alternative<WicFailure>(decoded)) << c.what;
            EXPECT_EQ(std::get<WicFailure>(decoded), *c.failure) << c.what;
            if (c.failure == WicFailure::kSidesRefused) {
                EXPECT_EQ(shown, (std::pair<std::uint32_t, std::uint32_t>{2, 1})) << c.what;
            }
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<WicPixels>(decoded))
            << c.what << ": failed at step " << static_cast<int>(std::get<WicFailure>(decoded));
        const WicPixels& pixels = std::get<WicPixels>(decoded);
        EXPECT_EQ(shown, (std::pair{c.width, c.height})) << c.what;
        ASSERT_EQ(pixels.width, c.width) << c.what;
        ASSERT_EQ(pixels.height, c.height) << c.what;
        ASSERT_EQ(pixels.argb.size(), std::size_t{c.width} * c.height) << c.what;
        EXPECT_EQ(pixels.argb.front(), c.firstPixel) << c.what;
        EXPECT_EQ(pixels.argb.back(), c.lastPixel) << c.what;
    }
}

// The packer's frames go through the same decoder and start COM on their own thread as the
// player's pictures do, inside a session or not.
TEST(WicDecoder, PackerFramesStartComOnTheirThread) {
    const Bytes bmp = Bmp(2, 1, {0x010203, 0x040506});
    for (const bool session : {false, true}) {
        HRESULT apartment = E_FAIL;
        pack::RgbaImage decoded;
        std::thread([&] {
            std::optional<pack::DecoderSession> held;
            if (session)
                held.emplace();
            decoded = pack::DecodeStillPicture(bmp, PictureFormat::kBmp, "a.bmp");
            APTTYPE type{};
            APTTYPEQUALIFIER qualifier{};
            apartment = ::CoGetApartmentType(&type, &qualifier);
        }).join();
        EXPECT_EQ(decoded.width, 2) << "session " << session;
        EXPECT_EQ(decoded.At(1, 0), (pack::Rgba{4, 5, 6, 255})) << "session " << session;
        EXPECT_EQ(apartment, S_OK) << "session " << session;
    }
}

TEST_F(PictureTest, BitmapHoldsThePixelsTopDown) {
    const DecodedPicture p{2, 2, {0x112233, 0x445566, 0x778899, 0xAABBCC}};
    UniqueHbitmap bitmap = CreatePictureBitmap(p);
    ASSERT_TRUE(bitmap);
    UniqueHdc dc(::CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    {
        const SelectedObject selected(dc.get(), bitmap.get());
        EXPECT_EQ(::GetPixel(dc.get(), 1, 0), RGB(0x44, 0x55, 0x66));
        EXPECT_EQ(::GetPixel(dc.get(), 0, 1), RGB(0x77, 0x88, 0x99));
    }
    EXPECT_FALSE(CreatePictureBitmap(DecodedPicture{}));
    EXPECT_FALSE(CreatePictureBitmap(DecodedPicture{2, 2, {1, 2, 3}}));
}

// Declared size of a picture file, read straight from its header.
std::pair<std::int32_t, std::int32_t> DeclaredSize(const Bytes& b) {
    auto u16 = [&](std::size_t i) { return static_cast<std::int32_t>(b[i] | b[i + 1] << 8); };
    auto i32 = [&](std::size_t i) {
        std::int32_t v;
        std::memcpy(&v, &b[i], 4);
        return v;
    };
    if (b[0] == 'G')
        return {u16(6), u16(8)};
    if (b[0] == 'B')
        return {i32(18), std::abs(i32(22))};
    return {b[6] ? b[6] : 256, b[7] ? b[7] : 256};
}

TEST(PictureFiles, FavouriteImagesDecodeAtTheirDeclaredSize) {
    const std::vector<std::wstring> files = support::FilesIn(
        support::SourcePath(L"assets\\favourites\\ぷかり"), {L"*.gif", L"*.bmp", L"*.ico"});
    if (files.empty())
        GTEST_SKIP() << "no images under assets/favourites";
    ComApartment com;
    for (const std::wstring& path : files) {
        UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file);
        Bytes header(32);
        DWORD got = 0;
        ASSERT_TRUE(::ReadFile(file.get(), header.data(), 32, &got, nullptr) && got == 32);
        std::wstring error;
        const auto picture = DecodePicture(path, kBackground, &error);
        ASSERT_TRUE(picture) << ToUtf8(path) << ": " << ToUtf8(error);
        const auto [width, height] = DeclaredSize(header);
        EXPECT_EQ(picture->width, width) << ToUtf8(path);
        EXPECT_EQ(picture->height, height) << ToUtf8(path);
    }
}

Bytes ReadBytes(const std::wstring& path) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size))
        return {};
    Bytes bytes(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    if (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr))
        return {};
    bytes.resize(got);
    return bytes;
}

// Where a GIF's first image lies on its logical screen, from the logical screen descriptor and
// the first image descriptor past any extensions; the test's own reading, not the decoder's.
struct GifPlacement {
    std::uint32_t screenWidth = 0, screenHeight = 0, left = 0, top = 0;
};
GifPlacement FirstImagePlacement(const Bytes& b) {
    const auto word = [&](std::size_t at) { return std::uint32_t{b.at(at)} | b.at(at + 1) << 8; };
    std::size_t at = 13 + ((b.at(10) & 0x80) ? std::size_t{3} << ((b[10] & 7) + 1) : 0);
    while (b.at(at) == 0x21) {
        at += 2;
        while (b.at(at) != 0)
            at += b[at] + 1u;
        ++at;
    }
    EXPECT_EQ(b.at(at), 0x2C) << "no image descriptor where the test expects one";
    return {word(6), word(8), word(at + 1), word(at + 3)};
}

// The first frame of a GIF as the imaging component reads it, placed on the logical screen where
// the file puts it and laid over the background: how the player showed GIF files before it read
// them itself.
std::optional<DecodedPicture> ReadGifWithWic(const Bytes& bytes, std::uint32_t background) {
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    UINT width = 0, height = 0;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWICImagingFactory, factory.put_void())) ||
        FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(bytes.data()),
                                            static_cast<DWORD>(bytes.size()))) ||
        FAILED(factory->CreateDecoder(GUID_ContainerFormatGif, nullptr, decoder.put())) ||
        FAILED(decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand)) ||
        FAILED(decoder->GetFrame(0, frame.put())) || FAILED(frame->GetSize(&width, &height)) ||
        FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA,
                                     WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)))
        return std::nullopt;
    std::vector<std::uint32_t> argb(std::size_t{width} * height);
    if (FAILED(converter->CopyPixels(nullptr, 4 * width, 4 * width * height,
                                     reinterpret_cast<BYTE*>(argb.data()))))
        return std::nullopt;
    const GifPlacement place = FirstImagePlacement(bytes);
    DecodedPicture picture;
    picture.width = static_cast<std::int32_t>(std::max(place.screenWidth, place.left + width));
    picture.height = static_cast<std::int32_t>(std::max(place.screenHeight, place.top + height));
    picture.pixels.assign(static_cast<std::size_t>(picture.width) * picture.height, background);
    for (UINT y = 0; y < height; ++y) {
        for (UINT x = 0; x < width; ++x) {
            const std::uint32_t pixel = argb[std::size_t{y} * width + x];
            picture.pixels[(std::size_t{place.top} + y) * picture.width + place.left + x] =
                Blend(pixel & 0x00FFFFFF, pixel >> 24, background);
        }
    }
    return picture;
}

// Where two pictures first differ, for a message that does not print every pixel.
std::string FirstDifference(const DecodedPicture& a, const DecodedPicture& b) {
    if (a.width != b.width || a.height != b.height)
        return "sides " + std::to_string(a.width) + "x" + std::to_string(a.height) + " against " +
               std::to_string(b.width) + "x" + std::to_string(b.height);
    const auto at = std::mismatch(a.pixels.begin(), a.pixels.end(), b.pixels.begin());
    if (at.first == a.pixels.end())
        return {};
    const auto index = static_cast<std::size_t>(at.first - a.pixels.begin());
    char text[96];
    std::snprintf(text, sizeof text, "pixel (%zu, %zu): %06X against %06X",
                  index % static_cast<std::size_t>(a.width),
                  index / static_cast<std::size_t>(a.width), *at.first, *at.second);
    return text;
}

// The portable decoder changes nothing a user sees: every GIF shipped, the sample's frames and
// the favourites', comes out exactly as the imaging component gave it, over the player's
// background and over one no frame uses.
TEST(PictureFiles, ShippedGifsDecodeAsTheImagingComponentDecodesThem) {
    const std::vector<std::wstring> samples =
        support::FilesIn(support::SourcePath(L"assets\\sample\\frames"), {L"*.gif"});
    ASSERT_FALSE(samples.empty()) << "no frames under assets/sample/frames";
    std::vector<std::wstring> files =
        support::FilesIn(support::SourcePath(L"assets\\favourites\\ぷかり"), {L"*.gif"});
    files.insert(files.begin(), samples.begin(), samples.end());
    const ComApartment com;
    std::size_t backgroundPixels = 0;
    for (const std::wstring& path : files) {
        const Bytes bytes = ReadBytes(path);
        ASSERT_FALSE(bytes.empty()) << ToUtf8(path);
        for (const std::uint32_t background : {ButtonFaceRgb(), kBackground}) {
            const std::optional<DecodedPicture> reference = ReadGifWithWic(bytes, background);
            ASSERT_TRUE(reference) << ToUtf8(path);
            std::wstring error;
            const std::optional<DecodedPicture> picture = DecodePicture(path, background, &error);
            ASSERT_TRUE(picture) << ToUtf8(path) << ": " << ToUtf8(error);
            EXPECT_EQ(FirstDifference(*picture, *reference), "") << ToUtf8(path);
            backgroundPixels += static_cast<std::size_t>(
                std::count(reference->pixels.begin(), reference->pixels.end(), kBackground));
        }
    }
    // Transparent pixels were compared as well as opaque ones.
    EXPECT_GT(backgroundPixels, 0u);
}

}  // namespace
}  // namespace tovalin::platform

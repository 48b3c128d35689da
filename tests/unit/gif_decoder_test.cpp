// GIF decoding. The files read here are put together byte by byte with LZW data of literal codes
// only, which any decoder must read the same way.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/gif_decoder.h"
#include "platform/picture.h"

namespace tovalin::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};

// The callers' frame limit in these tests (the packer's; any would do).
constexpr std::size_t kFrames = 51;

constexpr Rgba kClear{0, 0, 0, 0};
constexpr Rgba kRed{255, 0, 0, 255};
constexpr Rgba kGreen{0, 255, 0, 255};
constexpr Rgba kBlue{0, 0, 255, 255};
constexpr Rgba kBlack{0, 0, 0, 255};
const std::vector<Rgb> kColours{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 9, 9}};  // R G B grey

void PutWord(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

class Codes {
  public:
    void Put(std::uint32_t code, std::uint32_t width) {
        buffer_ |= code << bits_;
        for (bits_ += width; bits_ >= 8; bits_ -= 8) {
            bytes_.push_back(static_cast<std::uint8_t>(buffer_));
            buffer_ >>= 8;
        }
    }
    Bytes Finish() {
        if (bits_ > 0)
            bytes_.push_back(static_cast<std::uint8_t>(buffer_));
        return bytes_;
    }

  private:
    Bytes bytes_;
    std::uint32_t buffer_ = 0, bits_ = 0;
};

// Literal codes with a clear code before every second one, so that the width never grows.
Bytes LiteralLzw(const std::vector<std::uint8_t>& indices, std::uint32_t minCodeSize = 2,
                 bool endCode = true) {
    const std::uint32_t clear = 1u << minCodeSize, width = minCodeSize + 1;
    Codes codes;
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (i % 2 == 0)
            codes.Put(clear, width);
        codes.Put(indices[i], width);
    }
    if (endCode)
        codes.Put(clear + 1, width);
    return codes.Finish();
}

Bytes SubBlocks(const Bytes& data, bool terminator = true) {
    Bytes out;
    for (std::size_t i = 0; i < data.size(); i += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - i);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(i),
                   data.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    if (terminator)
        out.push_back(0);
    return out;
}

struct Placement {
    Placement(std::uint32_t l = 0, std::uint32_t t = 0, std::uint32_t w = 1, std::uint32_t h = 1,
              bool i = false, std::vector<Rgb> table = {})
        : left(l), top(t), width(w), height(h), interlaced(i), local(std::move(table)) {}
    std::uint32_t left, top, width, height;
    bool interlaced;
    std::vector<Rgb> local;
};

class GifBuilder {
  public:
    GifBuilder(std::uint32_t width, std::uint32_t height, const std::vector<Rgb>& global = kColours)
        : bytes_{'G', 'I', 'F', '8', '9', 'a'} {
        PutWord(bytes_, width);
        PutWord(bytes_, height);
        bytes_.push_back(global.empty() ? 0 : static_cast<std::uint8_t>(0x80 | TableBits(global)));
        bytes_.insert(bytes_.end(), {0, 0});
        PutTable(global);
    }
    GifBuilder& Control(std::uint32_t disposal, std::optional<std::uint8_t> transparent = {},
                        std::uint16_t delay = 0) {
        bytes_.insert(
            bytes_.end(),
            {0x21, 0xF9, 4, static_cast<std::uint8_t>(disposal << 2 | (transparent ? 1 : 0)),
             static_cast<std::uint8_t>(delay), static_cast<std::uint8_t>(delay >> 8),
             transparent.value_or(0), 0});
        return *this;
    }
    GifBuilder& Image(const Placement& p, const std::vector<std::uint8_t>& indices) {
        return Coded(p, SubBlocks(LiteralLzw(indices)));
    }
    // An image with the given data sub-blocks.
    GifBuilder& Coded(const Placement& p, const Bytes& lzwBlocks, std::uint8_t minCodeSize = 2) {
        bytes_.push_back(0x2C);
        for (std::uint32_t v : {p.left, p.top, p.width, p.height})
            PutWord(bytes_, v);
        std::uint8_t packed = p.interlaced ? 0x40 : 0;
        if (!p.local.empty())
            packed |= static_cast<std::uint8_t>(0x80 | TableBits(p.local));
        bytes_.push_back(packed);
        PutTable(p.local);
        bytes_.push_back(minCodeSize);
        bytes_.insert(bytes_.end(), lzwBlocks.begin(), lzwBlocks.end());
        return *this;
    }
    GifBuilder& Raw(const Bytes& raw) {
        bytes_.insert(bytes_.end(), raw.begin(), raw.end());
        return *this;
    }
    Bytes Done() const {
        Bytes out = bytes_;
        out.push_back(0x3B);
        return out;
    }
    Bytes Unfinished() const { return bytes_; }

  private:
    static std::uint32_t TableBits(const std::vector<Rgb>& table) {
        std::uint32_t bits = 0;
        while ((2u << bits) < table.size())
            ++bits;
        return bits;
    }
    void PutTable(const std::vector<Rgb>& table) {
        if (table.empty())
            return;
        for (std::size_t i = 0; i < (std::size_t{2} << TableBits(table)); ++i) {
            const Rgb c = i < table.size() ? table[i] : Rgb{};
            bytes_.insert(bytes_.end(), {c.r, c.g, c.b});
        }
    }
    Bytes bytes_;
};

std::vector<Rgba> Pixels(const GifAnimation& gif, std::size_t frame) {
    return gif.frames.at(frame).image.pixels;
}

TEST(GifDecoding, ImagesArePlacedOnTheScreenAndClippedAtItsEdges) {
    // A 3 x 3 image at (2, 1) on a 4 x 3 screen: only its left column and top two rows show.
    const GifAnimation gif = DecodeGif(
        GifBuilder(4, 3).Image({2, 1, 3, 3}, {0, 1, 2, 1, 2, 0, 2, 0, 1}).Done(), kFrames);
    ASSERT_EQ(gif.frames.size(), 1u);
    EXPECT_EQ(gif.screenWidth, 4);
    EXPECT_FALSE(gif.incomplete);
    const std::vector<Rgba> expected{kClear, kClear, kClear, kClear,  //
                                     kClear, kClear, kRed,   kGreen,  //
                                     kClear, kClear, kGreen, kBlue};
    EXPECT_EQ(Pixels(gif, 0), expected);
}

TEST(GifDecoding, LocalTableInterlacingAndMissingEntries) {
    // Stored rows of an interlaced 1 x 10 image come in the order 0 8 4 2 6 1 3 5 7 9; the value
    // stored is the row's number, looked up in a local table of 8 greys (8 and 9 lie past it).
    std::vector<Rgb> greys;
    for (std::uint8_t i = 0; i < 8; ++i)
        greys.push_back({i, i, i});
    Placement p{0, 0, 1, 10, true, greys};
    const std::vector<std::uint8_t> stored{0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
    const GifAnimation gif =
        DecodeGif(GifBuilder(1, 10).Coded(p, SubBlocks(LiteralLzw(stored, 4)), 4).Done(), kFrames);
    for (std::uint8_t y = 0; y < 10; ++y) {
        const Rgba expected = y < 8 ? Rgba{y, y, y, 255} : kBlack;
        EXPECT_EQ(gif.frames[0].image.At(0, y), expected) << "row " << int{y};
    }
}

TEST(GifDecoding, EachDisposalMethodPreparesTheNextFrame) {
    // Green fills the screen and stays; red covers pixel 0 with the disposal under test; blue is
    // then drawn at pixel 2. Background is transparent.
    struct Case {
        std::uint32_t disposal;
        std::vector<Rgba> last;
    };
    for (const Case& c : {Case{0, {kRed, kGreen, kBlue}}, Case{1, {kRed, kGreen, kBlue}},
                          Case{2, {kClear, kGreen, kBlue}}, Case{3, {kGreen, kGreen, kBlue}},
                          Case{4, {kGreen, kGreen, kBlue}}}) {
        const GifAnimation gif = DecodeGif(GifBuilder(3, 1)
                                               .Control(1, {}, 10)
                                               .Image({0, 0, 3, 1}, {1, 1, 1})
                                               .Control(c.disposal, {}, 20)
                                               .Image({0, 0, 1, 1}, {0})
                                               .Image({2, 0, 1, 1}, {2})
                                               .Done(),
                                           kFrames);
        ASSERT_EQ(gif.frames.size(), 3u);
        EXPECT_EQ(Pixels(gif, 1), (std::vector<Rgba>{kRed, kGreen, kGreen})) << c.disposal;
        EXPECT_EQ(Pixels(gif, 2), c.last) << "disposal " << c.disposal;
        EXPECT_EQ(gif.frames[0].delay, 10);
        EXPECT_EQ(gif.frames[1].delay, 20);
        EXPECT_EQ(gif.frames[2].delay, 0) << "a control applies to one image only";
    }
}

TEST(GifDecoding, TransparentIndexLeavesWhatIsBeneath) {
    const GifAnimation gif = DecodeGif(GifBuilder(3, 1)
                                           .Image({0, 0, 3, 1}, {1, 1, 1})
                                           .Control(0, 2)
                                           .Image({0, 0, 3, 1}, {0, 2, 0})
                                           .Done(),
                                       kFrames);
    EXPECT_EQ(Pixels(gif, 1), (std::vector<Rgba>{kRed, kGreen, kRed}));
}

TEST(GifDecoding, OtherExtensionsAreSkipped) {
    const Bytes netscape{0x21, 0xFF, 11,  'N', 'E', 'T', 'S', 'C', 'A', 'P',
                         'E',  '2',  '.', '0', 3,   1,   0,   0,   0};
    const Bytes comment{0x21, 0xFE, 3, 'a', 'b', 'c', 2, 'd', 'e', 0};
    const Bytes plainText{0x21, 0x01, 12, 0, 0, 0, 0, 1, 0, 1, 0, 1, 1, 0, 1, 1, 'x', 0};
    const GifAnimation gif = DecodeGif(
        GifBuilder(1, 1).Raw(netscape).Raw(comment).Raw(plainText).Image({}, {2}).Done(), kFrames);
    EXPECT_EQ(Pixels(gif, 0), std::vector<Rgba>{kBlue});
}

TEST(GifDecoding, CodeNotYetInTheTableAndGrowingWidths) {
    // clear, 0, then 6: the string about to be added (0 0), then the end code: 0 0 0.
    Codes kwkwk;
    for (std::uint32_t code : {4u, 0u, 6u, 5u})
        kwkwk.Put(code, 3);
    GifAnimation gif =
        DecodeGif(GifBuilder(3, 1).Coded({0, 0, 3, 1}, SubBlocks(kwkwk.Finish())).Done(), kFrames);
    EXPECT_EQ(Pixels(gif, 0), (std::vector<Rgba>{kRed, kRed, kRed}));

    // 5,000 literal codes without a clear code: the width grows from 3 to 12 bits as the table
    // fills, then the full table stays as it is, which GIF allows.
    Codes literals;
    std::vector<std::uint8_t> indices;
    std::uint32_t width = 3, next = 6;
    literals.Put(4, width);
    for (std::uint32_t i = 0; i < 5000; ++i) {
        indices.push_back(static_cast<std::uint8_t>(i * 7 % 4));
        literals.Put(indices.back(), width);
        if (i > 0 && next < 4096 && ++next == (1u << width) && width < 12)
            ++width;
    }
    literals.Put(5, width);
    gif = DecodeGif(GifBuilder(100, 50).Coded({0, 0, 100, 50}, SubBlocks(literals.Finish())).Done(),
                    kFrames);
    EXPECT_FALSE(gif.incomplete);
    for (std::size_t i = 0; i < indices.size(); ++i) {
        const Rgb c = kColours[indices[i]];
        ASSERT_EQ(gif.frames[0].image.pixels[i], (Rgba{c.r, c.g, c.b, 255})) << i;
    }
}

TEST(GifDecoding, EarlyEndsKeepWhatWasThereAndSayTheFileIsIncomplete) {
    // Three 8-bit codes (clear 0 1) fill three bytes: no padding bits to be read as a code.
    const GifBuilder twoPixelsShort =
        GifBuilder(2, 2).Coded({0, 0, 2, 2}, SubBlocks(LiteralLzw({0, 1}, 7, false), false), 7);
    GifAnimation gif = DecodeGif(twoPixelsShort.Unfinished(), kFrames);
    EXPECT_TRUE(gif.incomplete);
    EXPECT_EQ(Pixels(gif, 0), (std::vector<Rgba>{kRed, kGreen, kClear, kClear}));

    // Cut inside the second image's descriptor; and a stray byte where a block should start.
    const Bytes whole = GifBuilder(1, 1).Image({}, {0}).Image({}, {1}).Done();
    gif = DecodeGif(std::span(whole).first(whole.size() - 12), kFrames);
    EXPECT_EQ(gif.frames.size(), 1u);
    EXPECT_TRUE(gif.incomplete);
    gif = DecodeGif(GifBuilder(1, 1).Image({}, {0}).Raw({0x00}).Image({}, {1}).Done(), kFrames);
    EXPECT_EQ(gif.frames.size(), 1u);
    EXPECT_TRUE(gif.incomplete);

    // The first frame alone is incomplete only when the file gives out before that frame is
    // whole, not when a later image is cut.
    gif = DecodeGifFirstFrame(twoPixelsShort.Unfinished());
    EXPECT_TRUE(gif.incomplete);
    EXPECT_EQ(Pixels(gif, 0), (std::vector<Rgba>{kRed, kGreen, kClear, kClear}));
    gif = DecodeGifFirstFrame(std::span(whole).first(whole.size() - 12));
    EXPECT_FALSE(gif.incomplete);
    EXPECT_EQ(Pixels(gif, 0), std::vector<Rgba>{kRed});
}

void ExpectRefused(const Bytes& gif, const std::string& expected, std::size_t maxFrames = kFrames,
                   std::uint64_t maxPixels = kGifPixelBudget) {
    try {
        DecodeGif(gif, maxFrames, maxPixels);
        ADD_FAILURE() << "accepted; expected: " << expected;
    } catch (const PictureError& e) {
        EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
    }
}

TEST(GifRefusals, EachNamesWhatIsWrong) {
    ExpectRefused({'G', 'I', 'F', '8', '8', 'a', 1, 0, 1, 0, 0, 0, 0}, "GIF画像ではありません");
    ExpectRefused({'G', 'I', 'F', '8', '9', 'a', 1, 0}, "ヘッダーが途中で切れています");
    ExpectRefused(GifBuilder(1, 1).Done(), "画像が1枚もありません");
    ExpectRefused(GifBuilder(1, 1).Unfinished(), "最初の画像を読み終える前に");
    for (std::uint8_t size : Bytes{0, 1, 9, 12})
        ExpectRefused(GifBuilder(1, 1).Coded({}, SubBlocks({0}), size).Done(), "最小符号長");
    Codes tableCode;  // after clear only a literal can come; 6 names no string yet
    for (std::uint32_t code : {4u, 6u, 5u})
        tableCode.Put(code, 3);
    ExpectRefused(GifBuilder(1, 1).Coded({}, SubBlocks(tableCode.Finish())).Done(), "LZW 符号");
    Codes pastNext;  // after clear and 0 the next free code is 6; 7 is beyond it
    for (std::uint32_t code : {4u, 0u, 7u})
        pastNext.Put(code, 3);
    ExpectRefused(GifBuilder(3, 1).Coded({0, 0, 3, 1}, SubBlocks(pastNext.Finish())).Done(),
                  "1 枚目の画像のデータが壊れています");
    ExpectRefused(GifBuilder(1, 1).Image({0, 0, 40000, 1000}, {0}).Done(), "40000×1000");
}

TEST(GifRefusals, HugeClaimsAreRefusedBeforeAnythingIsDecoded) {
    ExpectRefused(GifBuilder(40000, 1).Image({}, {0}).Done(), "画面の大きさ 40000×1");
    ExpectRefused(GifBuilder(8192, 8192).Image({}, {0}).Done(), "8192×8192");
    // Each frame is a copy of the 10,000-pixel screen: the second passes 25,000.
    GifBuilder many(100, 100);
    for (int i = 0; i < 3; ++i)
        many.Image({}, {0});
    ExpectRefused(many.Done(), "GIF画像が大きすぎます", kFrames, 25000);
    EXPECT_EQ(DecodeGif(many.Done(), kFrames, 40003).frames.size(), 3u);
}

TEST(GifRefusals, FramesAreCutAtTheCallersMaximum) {
    GifBuilder thousands(1, 1);
    for (int i = 0; i < 20000; ++i)
        thousands.Image({}, {static_cast<std::uint8_t>(i % 3)});
    const Bytes file = thousands.Done();
    ExpectRefused(file, "フレームが多すぎます（最大 51 枚）");
    EXPECT_THROW(DecodeGif(file, kFrames), TooManyGifFrames);
    const Bytes four =
        GifBuilder(1, 1).Image({}, {0}).Image({}, {1}).Image({}, {2}).Image({}, {0}).Done();
    ExpectRefused(four, "最大 3 枚", 3);
    const Bytes justThree = GifBuilder(1, 1).Image({}, {0}).Image({}, {1}).Image({}, {2}).Done();
    EXPECT_EQ(DecodeGif(justThree, 3).frames.size(), 3u);
    // The first frame alone never looks at the rest.
    const GifAnimation first = DecodeGifFirstFrame(file);
    ASSERT_EQ(first.frames.size(), 1u);
    EXPECT_EQ(first.frames[0].image.pixels, std::vector<Rgba>{kRed});
    EXPECT_FALSE(first.incomplete);
}

// The player's reading of a GIF: its first frame over the window's background.
constexpr std::uint32_t kBackground = 0x123456;

TEST(GifPicture, TransparentAndUncoveredPixelsTakeTheBackgroundExactly) {
    // A 2 x 1 image at (1, 1) on a 4 x 3 screen, its second pixel transparent; the second image
    // would cover the whole screen.
    const Bytes gif = GifBuilder(4, 3)
                          .Control(0, 1)
                          .Image({1, 1, 2, 1}, {0, 1})
                          .Image({0, 0, 4, 3}, std::vector<std::uint8_t>(12, 2))
                          .Done();
    std::wstring error = L"unchanged";
    // Only the colour of the background counts, not what its top byte holds.
    const std::optional<DecodedPicture> picture =
        DecodeGifPicture(gif, 0xFF000000 | kBackground, &error);
    ASSERT_TRUE(picture) << std::string(error.begin(), error.end());
    EXPECT_EQ(error, L"unchanged");
    EXPECT_EQ(picture->width, 4);
    EXPECT_EQ(picture->height, 3);
    std::vector<std::uint32_t> expected(12, kBackground);
    expected[5] = 0xFF0000;
    EXPECT_EQ(picture->pixels, expected);
}

TEST(GifPicture, OpaqueColoursComeThroughAsTheyAre) {
    const Bytes gif = GifBuilder(2, 2).Image({0, 0, 2, 2}, {0, 1, 2, 3}).Done();
    const std::optional<DecodedPicture> picture = DecodeGifPicture(gif, kBackground);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->pixels,
              (std::vector<std::uint32_t>{0xFF0000, 0x00FF00, 0x0000FF, 0x090909}));
}

TEST(GifPicture, RefusedOrCutFilesGiveAReasonAndNoPicture) {
    const Bytes whole = GifBuilder(2, 2).Image({0, 0, 2, 2}, {0, 1, 2, 3}).Done();
    const std::vector<Bytes> refused{
        Bytes(whole.begin(), whole.end() - 4),  // cut inside the image's data
        Bytes{'G', 'I', 'F', '8', '9', 'a', 2, 0},
        GifBuilder(2, 2).Done(),  // no image at all
        GifBuilder(40000, 1).Image({}, {0}).Done(),
    };
    for (const Bytes& gif : refused) {
        std::wstring error;
        EXPECT_FALSE(DecodeGifPicture(gif, kBackground, &error)) << gif.size() << " bytes";
        EXPECT_FALSE(error.empty()) << gif.size() << " bytes";
    }
    // A cut in a later image leaves the first frame whole.
    const Bytes two = GifBuilder(2, 2).Image({0, 0, 2, 2}, {0, 1, 2, 3}).Image({}, {1}).Done();
    EXPECT_TRUE(DecodeGifPicture(Bytes(two.begin(), two.end() - 4), kBackground));
}

// Where the player puts a GIF's first image: at its descriptor's place on the logical screen,
// found past any extensions, with the background everywhere the image does not cover.
TEST(GifPicture, TheFirstImageLandsAtItsPlacePastExtensions) {
    const Bytes comment{0x21, 0xFE, 3, 'a', 'b', 'c', 0};
    const Bytes gif = GifBuilder(10, 8)
                          .Raw(comment)
                          .Control(0)
                          .Image({3, 2, 2, 2}, {0, 1, 2, 3})
                          .Image({0, 0, 10, 8}, std::vector<std::uint8_t>(80, 3))
                          .Done();
    const std::optional<DecodedPicture> picture = DecodeGifPicture(gif, kBackground);
    ASSERT_TRUE(picture);
    ASSERT_EQ(picture->width, 10);
    ASSERT_EQ(picture->height, 8);
    std::vector<std::uint32_t> expected(80, kBackground);
    expected[2 * 10 + 3] = 0xFF0000;
    expected[2 * 10 + 4] = 0x00FF00;
    expected[3 * 10 + 3] = 0x0000FF;
    expected[3 * 10 + 4] = 0x090909;
    EXPECT_EQ(picture->pixels, expected);
}

// Without a whole first image descriptor there is no picture to place: each of these is refused
// with a reason, while the same file one byte longer is not.
TEST(GifPicture, NothingWithoutACompleteFirstImage) {
    const Bytes whole = GifBuilder(10, 8).Control(0).Image({3, 2, 1, 1}, {1}).Done();
    const std::size_t descriptor = 13 + 3 * 4 + 8;  // header, palette, control extension
    ASSERT_EQ(whole[descriptor], 0x2C);
    Bytes junkBlock = whole;
    junkBlock[13 + 3 * 4] = 0x99;  // neither an extension nor an image
    const Bytes bmp{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 26, 0, 0, 0, 12, 0, 0, 0, 1, 0, 1, 0, 1, 0};
    struct Case {
        const char* what;
        Bytes bytes;
    };
    const std::vector<Case> refused{
        {"descriptor cut short", Bytes(whole.begin(), whole.begin() + descriptor + 9)},
        {"descriptor without data", Bytes(whole.begin(), whole.begin() + descriptor + 10)},
        {"no image", GifBuilder(10, 8).Control(0).Done()},
        {"screen cut short", Bytes(whole.begin(), whole.begin() + 12)},
        {"junk block", junkBlock},
        {"a BMP", bmp},
    };
    for (const Case& c : refused) {
        std::wstring error;
        EXPECT_FALSE(DecodeGifPicture(c.bytes, kBackground, &error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
    }
    const std::optional<DecodedPicture> picture = DecodeGifPicture(whole, kBackground);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->pixels[2 * 10 + 3], 0x00FF00u);
}

}  // namespace
}  // namespace tovalin::platform

// GIF decoding and writing. The files read here are put together byte by byte with LZW data of
// literal codes only, which any decoder must read the same way; the writer is checked against
// the decoder and against a stream worked out by hand.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "pack/gif_decoder.h"
#include "pack/gif_encoder.h"

namespace tovalin::pack {
namespace {

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
    const GifAnimation gif =
        DecodeGif(GifBuilder(4, 3).Image({2, 1, 3, 3}, {0, 1, 2, 1, 2, 0, 2, 0, 1}).Done());
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
        DecodeGif(GifBuilder(1, 10).Coded(p, SubBlocks(LiteralLzw(stored, 4)), 4).Done());
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
                                               .Done());
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
                                           .Done());
    EXPECT_EQ(Pixels(gif, 1), (std::vector<Rgba>{kRed, kGreen, kRed}));
}

TEST(GifDecoding, OtherExtensionsAreSkipped) {
    const Bytes netscape{0x21, 0xFF, 11,  'N', 'E', 'T', 'S', 'C', 'A', 'P',
                         'E',  '2',  '.', '0', 3,   1,   0,   0,   0};
    const Bytes comment{0x21, 0xFE, 3, 'a', 'b', 'c', 2, 'd', 'e', 0};
    const Bytes plainText{0x21, 0x01, 12, 0, 0, 0, 0, 1, 0, 1, 0, 1, 1, 0, 1, 1, 'x', 0};
    const GifAnimation gif =
        DecodeGif(GifBuilder(1, 1).Raw(netscape).Raw(comment).Raw(plainText).Image({}, {2}).Done());
    EXPECT_EQ(Pixels(gif, 0), std::vector<Rgba>{kBlue});
}

TEST(GifDecoding, CodeNotYetInTheTableAndGrowingWidths) {
    // clear, 0, then 6: the string about to be added (0 0), then the end code: 0 0 0.
    Codes kwkwk;
    for (std::uint32_t code : {4u, 0u, 6u, 5u})
        kwkwk.Put(code, 3);
    GifAnimation gif =
        DecodeGif(GifBuilder(3, 1).Coded({0, 0, 3, 1}, SubBlocks(kwkwk.Finish())).Done());
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
    gif =
        DecodeGif(GifBuilder(100, 50).Coded({0, 0, 100, 50}, SubBlocks(literals.Finish())).Done());
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
    GifAnimation gif = DecodeGif(twoPixelsShort.Unfinished());
    EXPECT_TRUE(gif.incomplete);
    EXPECT_EQ(Pixels(gif, 0), (std::vector<Rgba>{kRed, kGreen, kClear, kClear}));

    // Cut inside the second image's descriptor; and a stray byte where a block should start.
    const Bytes whole = GifBuilder(1, 1).Image({}, {0}).Image({}, {1}).Done();
    gif = DecodeGif(std::span(whole).first(whole.size() - 12));
    EXPECT_EQ(gif.frames.size(), 1u);
    EXPECT_TRUE(gif.incomplete);
    gif = DecodeGif(GifBuilder(1, 1).Image({}, {0}).Raw({0x00}).Image({}, {1}).Done());
    EXPECT_EQ(gif.frames.size(), 1u);
    EXPECT_TRUE(gif.incomplete);
}

void ExpectRefused(const Bytes& gif, const std::string& expected, const GifLimits& limits = {}) {
    try {
        DecodeGif(gif, limits);
        ADD_FAILURE() << "accepted; expected: " << expected;
    } catch (const PackError& e) {
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
    ExpectRefused(many.Done(), "GIF画像が大きすぎます", GifLimits{51, 25000});
    EXPECT_EQ(DecodeGif(many.Done(), GifLimits{51, 40003}).frames.size(), 3u);
}

TEST(GifRefusals, FramesAreCutAtTheCallersMaximum) {
    GifBuilder thousands(1, 1);
    for (int i = 0; i < 20000; ++i)
        thousands.Image({}, {static_cast<std::uint8_t>(i % 3)});
    const Bytes file = thousands.Done();
    ExpectRefused(file, "フレームが多すぎます（最大 51 枚）");
    GifLimits three;
    three.maxFrames = 3;
    const Bytes four =
        GifBuilder(1, 1).Image({}, {0}).Image({}, {1}).Image({}, {2}).Image({}, {0}).Done();
    ExpectRefused(four, "最大 3 枚", three);
    const Bytes justThree = GifBuilder(1, 1).Image({}, {0}).Image({}, {1}).Image({}, {2}).Done();
    EXPECT_EQ(DecodeGif(justThree, three).frames.size(), 3u);
    // The first frame alone never looks at the rest.
    EXPECT_EQ(DecodeGifFirstFrame(file).pixels, std::vector<Rgba>{kRed});
}

IndexedImage RandomIndexed(std::int32_t width, std::int32_t height, std::size_t colours,
                           bool transparent, std::uint32_t seed) {
    std::mt19937 random(seed);
    IndexedImage image;
    image.width = width;
    image.height = height;
    for (std::size_t i = 0; i < colours; ++i)
        image.palette.push_back(Rgb{static_cast<std::uint8_t>(random()),
                                    static_cast<std::uint8_t>(random()),
                                    static_cast<std::uint8_t>(random())});
    for (std::int32_t i = 0; i < width * height; ++i)
        image.indices.push_back(static_cast<std::uint8_t>(random() % colours));
    if (transparent)
        image.transparentIndex = static_cast<std::uint8_t>(colours / 2);
    return image;
}

TEST(GifEncoding, RoundTripsThroughTheDecoderBitExactly) {
    for (std::size_t colours : {1, 2, 3, 200, 256}) {
        for (auto [w, h] :
             std::initializer_list<std::pair<int, int>>{{1, 1}, {7, 5}, {33, 17}, {2, 61}}) {
            for (bool transparent : {false, true}) {
                const IndexedImage image = RandomIndexed(w, h, colours, transparent, w * 131u + h);
                const GifAnimation gif = DecodeGif(EncodeGif(image));
                ASSERT_EQ(gif.frames.size(), 1u);
                EXPECT_FALSE(gif.incomplete);
                EXPECT_EQ(gif.frames[0].image, ToRgba(image))
                    << colours << " colours, " << w << "x" << h << (transparent ? ", clear" : "");
            }
        }
    }
}

TEST(GifEncoding, TableFullResetsOnLargeNoisyImages) {
    // 300 x 300 random indices of 256 colours fill the 4,096-code table about 90 times.
    const IndexedImage image = RandomIndexed(300, 300, 256, true, 7);
    EXPECT_EQ(DecodeGifFirstFrame(EncodeGif(image)), ToRgba(image));
}

TEST(GifEncoding, WritesTheExpectedBlocks) {
    IndexedImage image{2, 2, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, {0, 1, 1, 0}, 2};
    const Bytes gif = EncodeGif(image);
    const Bytes head{'G', 'I', 'F', '8', '9', 'a', 2, 0, 2, 0, 0xF1, 0, 0};
    ASSERT_GT(gif.size(), head.size() + 12);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), gif.begin()));
    const Bytes table{1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0};  // padded to 4 entries
    EXPECT_TRUE(std::equal(table.begin(), table.end(), gif.begin() + 13));
    // Graphic control with the transparency flag and index 2, the image at (0, 0), then codes
    // clear 0 1 1 (3 bits) and, once the decoder's next code has reached 8, 0 and end (4 bits).
    const Bytes rest{0x21, 0xF9, 4, 1, 0, 0, 2, 0,    0x2C, 0,    0, 0,   0,
                     2,    0,    2, 0, 0, 2, 3, 0x44, 0x02, 0x05, 0, 0x3B};
    EXPECT_EQ(Bytes(gif.begin() + 25, gif.end()), rest);

    image.transparentIndex.reset();
    image.palette.resize(1);
    image.indices.assign(4, 0);
    const Bytes opaque = EncodeGif(image);
    EXPECT_EQ(opaque[10], 0xF0) << "one colour still takes a table of two";
    EXPECT_EQ(opaque[19], 0x2C) << "no graphic control without a transparent index";
}

TEST(GifEncoding, RefusesMalformedPictures) {
    IndexedImage image{2, 1, {{0, 0, 0}}, {0, 1}, {}};
    EXPECT_THROW(EncodeGif(image), PackError);  // index past the palette
    image.indices = {0};
    EXPECT_THROW(EncodeGif(image), PackError);  // too few indices
    image.indices = {0, 0};
    image.transparentIndex = 1;
    EXPECT_THROW(EncodeGif(image), PackError);
    image.transparentIndex = 0;
    image.width = 0;
    EXPECT_THROW(EncodeGif(image), PackError);
}

}  // namespace
}  // namespace tovalin::pack

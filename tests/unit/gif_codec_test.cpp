// GIF writing, and GIF reading as the packer does it. The writer is checked against the decoder
// and against a stream worked out by hand; the reading is the platform's decoder
// (gif_decoder_test.cpp) with the packer's frame limit and its refusals as PackError.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "gif_files.h"
#include "pack/gif_decoder.h"
#include "pack/gif_encoder.h"
#include "package/package.h"
#include "platform/gif_decoder.h"

namespace tovalin::pack {
namespace {

// The platform decoder's message for a file it refuses; empty when it takes the file.
std::string PlatformRefusal(const Bytes& gif, std::size_t maxFrames) {
    try {
        platform::DecodeGif(gif, maxFrames);
    } catch (const platform::PictureError& e) {
        return e.what();
    }
    return {};
}

template <typename Error, typename Decode>
std::string RefusalAs(Decode&& decode) {
    try {
        decode();
    } catch (const Error& e) {
        return e.what();
    }
    return {};
}

TEST(GifReading, RefusalsArePackErrorsInTheDecodersWords) {
    const std::vector<Bytes> refused{{'G', 'I', 'F', '8', '8', 'a', 1, 0, 1, 0, 0, 0, 0},
                                     {'G', 'I', 'F', '8', '9', 'a', 1, 0},
                                     {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B}};
    for (const Bytes& gif : refused) {
        const std::string expected = PlatformRefusal(gif, 1);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(RefusalAs<PackError>([&] { DecodeGif(gif); }), expected);
        EXPECT_EQ(RefusalAs<PackError>([&] { DecodeGifFirstFrame(gif); }), expected);
    }
}

TEST(GifReading, TheFrameLimitIsThePackagesAndToldApart) {
    const auto most = static_cast<std::size_t>(package::kMaxFrames);
    const Bytes atTheLimit = gif_files::ManyImages(most);
    const Bytes overTheLimit = gif_files::ManyImages(most + 1);
    EXPECT_EQ(DecodeGif(atTheLimit).frames.size(), most);
    const std::string refusal = RefusalAs<TooManyGifFrames>([&] { DecodeGif(overTheLimit); });
    EXPECT_EQ(refusal, PlatformRefusal(overTheLimit, most));
    EXPECT_NE(refusal.find("最大 " + std::to_string(most) + " 枚"), std::string::npos) << refusal;
    GifLimits two;
    two.maxFrames = 2;
    EXPECT_THROW(DecodeGif(gif_files::ManyImages(3), two), TooManyGifFrames);
    // The first frame alone never counts frames.
    EXPECT_EQ(DecodeGifFirstFrame(overTheLimit), DecodeGif(atTheLimit).frames[0].image);
}

TEST(GifReading, ThePixelBudgetIsTheCallers) {
    // A 2 x 2 screen (4 pixels), then per image its own 4 pixels and a copy of the screen.
    const Bytes three = gif_files::ManyImages(3);
    EXPECT_THROW(DecodeGif(three, GifLimits{3, 27}), PackError);
    EXPECT_EQ(DecodeGif(three, GifLimits{3, 28}).frames.size(), 3u);
    EXPECT_THROW(DecodeGifFirstFrame(three, 11), PackError);
    EXPECT_NO_THROW(DecodeGifFirstFrame(three, 12));
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

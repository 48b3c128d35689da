// The picture header check on arbitrary bytes: it must never read outside the file, and what it
// accepts must carry a recognised signature and, where the first image's sides can be read
// plainly, claim a picture within the limits. A GIF it accepts then goes the rest of the
// player's way: its first frame decoded and laid over a background.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "fuzz_check.h"
#include "platform/gif_decoder.h"
#include "platform/picture.h"
#include "platform/picture_headers.h"

namespace {

namespace platform = tovalin::platform;
using tovalin::fuzz::ReadLE;

bool WithinLimits(std::int64_t width, std::int64_t height) {
    return width >= 1 && height >= 1 && width <= platform::kMaxImageSide &&
           height <= platform::kMaxImageSide &&
           static_cast<std::uint64_t>(width * height) <= platform::kMaxImagePixels;
}

// The sides an accepted file claims, read independently of the checker where that is simple.
void CheckAccepted(std::span<const std::uint8_t> bytes, platform::PictureFormat format) {
    switch (format) {
        case platform::PictureFormat::kGif:
            FUZZ_CHECK(bytes.size() >= 13);
            // A logical screen of zero pixels is left for the decoder; only size is refused here.
            FUZZ_CHECK(ReadLE(bytes, 6, 2) <= 32767 && ReadLE(bytes, 8, 2) <= 32767);
            break;
        case platform::PictureFormat::kBmp: {
            FUZZ_CHECK(bytes.size() >= 14 + 12);
            const auto headerSize = ReadLE(bytes, 14, 4);
            if (headerSize == 12) {
                FUZZ_CHECK(WithinLimits(static_cast<std::int64_t>(ReadLE(bytes, 18, 2)),
                                        static_cast<std::int64_t>(ReadLE(bytes, 20, 2))));
            } else {
                const auto height = static_cast<std::int32_t>(ReadLE(bytes, 22, 4));
                FUZZ_CHECK(headerSize >= 16);
                FUZZ_CHECK(WithinLimits(static_cast<std::int32_t>(ReadLE(bytes, 18, 4)),
                                        height < 0 ? -std::int64_t{height} : height));
            }
            break;
        }
        case platform::PictureFormat::kIco:
            FUZZ_CHECK(bytes.size() >= 22 && ReadLE(bytes, 4, 2) != 0);
            FUZZ_CHECK(ReadLE(bytes, 18, 4) + 12 <= bytes.size());
            break;
        case platform::PictureFormat::kPng:
            FUZZ_CHECK(false);
            break;
    }
}

// Decoding a large screen takes long and finds nothing a small one does not.
constexpr std::uint64_t kDecodedPixels = 1u << 16;
constexpr std::uint32_t kBackground = 0x123456;

// The player's picture is the decoder's first frame: the logical screen, opaque pixels in their
// own colour, the background exactly wherever the frame is transparent.
void CheckGifPicture(std::span<const std::uint8_t> bytes) {
    if (ReadLE(bytes, 6, 2) * ReadLE(bytes, 8, 2) > kDecodedPixels)
        return;
    std::wstring reason;
    const std::optional<platform::DecodedPicture> picture =
        platform::DecodeGifPicture(bytes, kBackground, &reason);
    if (!picture) {
        FUZZ_CHECK(!reason.empty());
        return;
    }
    const platform::GifAnimation gif = platform::DecodeGifFirstFrame(bytes);
    FUZZ_CHECK(!gif.incomplete && gif.frames.size() == 1);
    const platform::RgbaImage& frame = gif.frames[0].image;
    FUZZ_CHECK(picture->width == static_cast<std::int32_t>(ReadLE(bytes, 6, 2)) &&
               picture->height == static_cast<std::int32_t>(ReadLE(bytes, 8, 2)));
    FUZZ_CHECK(frame.width == picture->width && frame.height == picture->height);
    FUZZ_CHECK(picture->pixels.size() == frame.pixels.size());
    for (std::size_t i = 0; i < frame.pixels.size(); ++i) {
        const platform::Rgba p = frame.pixels[i];
        const std::uint32_t colour = std::uint32_t{p.r} << 16 | std::uint32_t{p.g} << 8 | p.b;
        FUZZ_CHECK(picture->pixels[i] == (p.a == 0 ? kBackground : colour));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    std::wstring reason = L"unchanged";
    const bool accepted = platform::CheckPictureHeaders(bytes, &reason);
    FUZZ_CHECK(platform::CheckPictureHeaders(bytes) == accepted);
    const auto format = platform::SniffPictureFormat(bytes);
    // The player refuses every PNG: the packer reads them, the player does not.
    if (format == platform::PictureFormat::kPng)
        FUZZ_CHECK(!accepted);
    if (accepted) {
        FUZZ_CHECK(reason == L"unchanged");
        FUZZ_CHECK(format.has_value());
        CheckAccepted(bytes, *format);
        if (*format == platform::PictureFormat::kGif)
            CheckGifPicture(bytes);
    } else {
        FUZZ_CHECK(!reason.empty() && reason != L"unchanged");
    }
    return 0;
}

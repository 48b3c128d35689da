#include "pack/gif_decoder.h"

#include <utility>

namespace tovalin::pack {

namespace {

// The decoder's refusals as the packer reports them, with the decoder's words.
template <typename Decode>
auto WithPackErrors(Decode&& decode) {
    try {
        return decode();
    } catch (const platform::TooManyGifFrames& error) {
        throw TooManyGifFrames(error.what());
    } catch (const platform::PictureError& error) {
        throw PackError(error.what());
    }
}

}  // namespace

GifAnimation DecodeGif(std::span<const std::uint8_t> bytes, const GifLimits& limits) {
    return WithPackErrors(
        [&] { return platform::DecodeGif(bytes, limits.maxFrames, limits.maxPixels); });
}

RgbaImage DecodeGifFirstFrame(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels) {
    return WithPackErrors([&] {
        return std::move(platform::DecodeGifFirstFrame(bytes, maxPixels).frames.front().image);
    });
}

}  // namespace tovalin::pack

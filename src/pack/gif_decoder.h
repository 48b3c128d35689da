// GIF files as the packer reads them: the platform's decoder (platform/gif_decoder.h) with the
// packer's frame limit, its refusals turned into the PackError every authoring step reports.
#pragma once

#include <cstdint>
#include <span>

#include "pack/file_io.h"
#include "pack/image.h"
#include "package/package.h"
#include "platform/gif_decoder.h"

namespace tovalin::pack {

using platform::GifAnimation;
using platform::GifFrame;

// A file with more images than GifLimits::maxFrames; a PackError like every other refusal, told
// apart so that a caller counting frames across files can say which limit was reached.
class TooManyGifFrames : public PackError {
  public:
    using PackError::PackError;
};

struct GifLimits {
    // A file with more images than this is refused instead of decoded.
    std::size_t maxFrames = static_cast<std::size_t>(package::kMaxFrames);
    // Pixels decoding may touch in all (platform::kGifPixelBudget).
    std::uint64_t maxPixels = platform::kGifPixelBudget;
};

// Every frame of the file, composited (platform::DecodeGif). Refusals throw PackError with the
// decoder's message, TooManyGifFrames when the file holds more than limits.maxFrames images.
GifAnimation DecodeGif(std::span<const std::uint8_t> bytes, const GifLimits& limits = {});

// The first frame only, composited on the logical screen; later images are not looked at.
RgbaImage DecodeGifFirstFrame(std::span<const std::uint8_t> bytes,
                              std::uint64_t maxPixels = GifLimits{}.maxPixels);

}  // namespace tovalin::pack

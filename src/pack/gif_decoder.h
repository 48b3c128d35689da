// Reads GIF87a and GIF89a files into RGBA frames composited the way a viewer shows them: every
// frame is the whole logical screen after that image was drawn at its place, with the disposal
// of the image before it applied first. Failures throw PackError with a Japanese message.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "pack/file_io.h"
#include "pack/image.h"
#include "package/package.h"

namespace tovalin::pack {

struct GifFrame {
    RgbaImage image;          // the logical screen; fully transparent where nothing was drawn
    std::uint16_t delay = 0;  // hundredths of a second, from the Graphic Control Extension
};

struct GifAnimation {
    std::int32_t screenWidth = 0;
    std::int32_t screenHeight = 0;
    std::vector<GifFrame> frames;  // at least one
    // The file ended early, an image's data ended before its last pixel, or an unknown block
    // stood where the next one should: what came before is kept, as viewers show it.
    bool incomplete = false;
};

// A file with more images than GifLimits::maxFrames; a PackError like every other refusal, told
// apart so that a caller counting frames across files can say which limit was reached.
class TooManyGifFrames : public PackError {
  public:
    using PackError::PackError;
};

struct GifLimits {
    // A file with more images than this is refused instead of decoded.
    std::size_t maxFrames = static_cast<std::size_t>(package::kMaxFrames);
    // Pixels decoding may touch in all: every frame's logical screen and every image's own
    // rectangle count. Bounds memory and time for files that claim many large frames.
    std::uint64_t maxPixels = 64u * 1024u * 1024u;
};

// Every frame of the file, composited. The background colour is taken to be fully transparent,
// as browsers do; disposal 2 restores an image's rectangle to it, disposal 3 (and 4, which some
// encoders write for it) the screen as it was before the image. Pixels outside the logical
// screen are clipped; palette indices past the colour table's end show as opaque black.
GifAnimation DecodeGif(std::span<const std::uint8_t> bytes, const GifLimits& limits = {});

// The first frame only, composited on the logical screen; later images are not looked at.
RgbaImage DecodeGifFirstFrame(std::span<const std::uint8_t> bytes,
                              std::uint64_t maxPixels = GifLimits{}.maxPixels);

}  // namespace tovalin::pack

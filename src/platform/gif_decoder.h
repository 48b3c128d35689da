// Reads GIF87a and GIF89a files into RGBA frames composited the way a viewer shows them: every
// frame is the whole logical screen after that image was drawn at its place, with the disposal
// of the image before it applied first. Failures throw PictureError with a Japanese message.
// Written here instead of using WIC's GIF codec: the player's frames then need no COM at start-up,
// and the player and the packer read a GIF alike on every system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

#include "platform/image.h"

namespace tovalin::platform {

// A GIF the decoder refuses; what() is a Japanese UTF-8 text saying what is wrong with it.
class PictureError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A file with more images than the caller allows, told apart so that a caller counting frames
// across files can say which limit was reached.
class TooManyGifFrames : public PictureError {
  public:
    using PictureError::PictureError;
};

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

// Pixels decoding may touch in all unless the caller says otherwise: every frame's logical
// screen and every image's own rectangle count. Bounds memory and time for files that claim
// many large frames.
inline constexpr std::uint64_t kGifPixelBudget = 64u * 1024u * 1024u;

// Every frame of the file, composited; a file with more than maxFrames images is refused
// instead of decoded. The background colour is taken to be fully transparent, as browsers do;
// disposal 2 restores an image's rectangle to it, disposal 3 (and 4, which some encoders write
// for it) the screen as it was before the image. Pixels outside the logical screen are
// clipped; palette indices past the colour table's end show as opaque black.
GifAnimation DecodeGif(std::span<const std::uint8_t> bytes, std::size_t maxFrames,
                       std::uint64_t maxPixels = kGifPixelBudget);

// The first frame only, composited on the logical screen; later images are not looked at. The
// animation holds that one frame; `incomplete` says whether the file gave out before the frame
// was whole.
GifAnimation DecodeGifFirstFrame(std::span<const std::uint8_t> bytes,
                                 std::uint64_t maxPixels = kGifPixelBudget);

}  // namespace tovalin::platform

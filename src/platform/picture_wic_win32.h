// The one place the Windows Imaging Component is used: the player's BMP and ICO pictures and the
// packer's PNG, BMP and ICO frames. ole32 is looked up, not imported, and COM is started by the
// first picture that needs it, so that a player whose frames are all GIFs never loads either.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <variant>
#include <vector>

#include "platform/picture_headers.h"

namespace tovalin::platform {

// One frame as the imaging component gave it.
struct WicPixels {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint32_t> argb;  // straight-alpha 0xAARRGGBB, row-major, top row first
};

// The step at which decoding stopped.
enum class WicFailure {
    kNoCom,         // ole32 could not be loaded or the thread could not enter an apartment
    kNoFactory,     // the imaging factory could not be created
    kNoStream,      // the bytes could not be opened as a stream
    kUndecodable,   // the format's decoder refused the data
    kNoFrame,       // the frame asked for is not there
    kNoSize,        // the frame would not tell its size
    kSidesRefused,  // the caller's check refused the frame's sides
    kNoConversion,  // the pixels could not be converted to 32-bit BGRA
    kNoPixels,      // the converted pixels could not be copied out
};

// Decodes frame `frame` of a PNG, BMP or ICO file held in memory with that format's own decoder
// (asking the factory to find one would make it try every registered codec). `acceptSides` sees
// the frame's sides before a single pixel is converted and refuses them by returning false.
// The first call on a thread loads ole32 and enters a single-threaded apartment, which the
// thread keeps for its life: leaving would release what its later pictures reuse.
std::variant<WicPixels, WicFailure> DecodeWithWic(
    std::span<const std::uint8_t> bytes, PictureFormat format, std::uint32_t frame,
    const std::function<bool(std::uint32_t, std::uint32_t)>& acceptSides);

// Keeps the imaging component's factories, once a picture has needed them, for the pictures
// this thread decodes while it lives: creating them for each picture costs several times what
// decoding a small frame does. Batches may nest; the outermost one owns the factories.
class PictureBatch {
  public:
    PictureBatch();
    ~PictureBatch();
    PictureBatch(const PictureBatch&) = delete;
    PictureBatch& operator=(const PictureBatch&) = delete;

  private:
    bool outermost_;
};

}  // namespace tovalin::platform

#include "platform/picture.h"

#include "platform/gif_decoder.h"

namespace tovalin::platform {
namespace {

std::optional<DecodedPicture> Refused(std::wstring* error, const wchar_t* reason) {
    if (error)
        *error = reason;
    return std::nullopt;
}

// A GIF pixel is either opaque or fully transparent: there is no partial transparency to blend.
std::uint32_t OverBackground(Rgba pixel, std::uint32_t background) {
    if (pixel.a == 0)
        return background;
    return std::uint32_t{pixel.r} << 16 | std::uint32_t{pixel.g} << 8 | pixel.b;
}

}  // namespace

std::optional<DecodedPicture> DecodeGifPicture(std::span<const std::uint8_t> bytes,
                                               std::uint32_t background, std::wstring* error) {
    GifAnimation gif;
    try {
        gif = DecodeGifFirstFrame(bytes);
    } catch (const PictureError&) {
        return Refused(error, L"cannot decode the picture");
    }
    // A frame with pixels missing would show holes of whatever the screen held; the picture is
    // refused instead, as the imaging component refuses it.
    if (gif.incomplete)
        return Refused(error, L"picture data ends before its first frame is whole");
    const RgbaImage& frame = gif.frames.front().image;
    DecodedPicture picture;
    picture.width = frame.width;
    picture.height = frame.height;
    picture.pixels.reserve(frame.pixels.size());
    for (const Rgba pixel : frame.pixels)
        picture.pixels.push_back(OverBackground(pixel, background & 0x00FFFFFF));
    return picture;
}

}  // namespace tovalin::platform

// The player's pictures as plain pixels, the form both the region builder and the window
// background painter work from, and the part of reading them that needs no system component:
// GIF files, read by the portable decoder. BMP and ICO files are the imaging component's
// (picture_win32.h).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tovalin::platform {

struct DecodedPicture {
    std::int32_t width = 0, height = 0;
    std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, row-major, top row first
};

// The first frame of a GIF file, composited on its logical screen; pixels the frame leaves
// transparent, and the parts of the screen it does not cover, take `background` (0x00RRGGBB)
// exactly. Returns nothing, with a short English reason in *error, when the decoder refuses the
// file or the file ends before the first frame is whole. The caller checks the headers first
// (CheckPictureHeaders); the decoder keeps to its own limits besides.
std::optional<DecodedPicture> DecodeGifPicture(std::span<const std::uint8_t> bytes,
                                               std::uint32_t background,
                                               std::wstring* error = nullptr);

}  // namespace tovalin::platform

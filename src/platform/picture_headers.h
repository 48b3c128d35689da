// The size claims in the headers of GIF, BMP and ICO files, read from the file's bytes without
// decoding anything, so that a hostile file is refused before a decoder allocates for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/image.h"

namespace tovalin::platform {

enum class PictureFormat { kGif, kPng, kBmp, kIco };

// The format the file's signature names ("GIF87a" or "GIF89a", PNG's eight bytes, "BM", or an
// icon directory's 0 0 1 0); nothing for anything else.
std::optional<PictureFormat> SniffPictureFormat(std::span<const std::uint8_t> bytes);

// The largest picture file read: a 32-bit BMP of the largest accepted picture, with room for
// its headers. Anything longer is refused before it is read.
inline constexpr std::uint64_t kMaxPictureFileBytes = 4 * kMaxImagePixels + (1u << 20);

// The sides a header states, as stated: they may be zero, negative or past every limit.
struct PictureSides {
    std::int64_t width = 0;
    std::int64_t height = 0;
};

// The sides in a PNG's IHDR chunk, the PNG starting at `at`; nothing when its signature or a
// whole IHDR is not there.
std::optional<PictureSides> ReadPngSides(std::span<const std::uint8_t> bytes, std::size_t at = 0);

// The sides in a DIB header starting at `at`: a BITMAPCOREHEADER (12 bytes) holds 16-bit sides,
// every later header 32-bit ones, and a negative height marks a top-down picture (its rows are
// counted). An icon's image stacks colour and mask, so `stackedMask` halves the height. Nothing
// when the header is too short for its sides or of no known size.
std::optional<PictureSides> ReadDibSides(std::span<const std::uint8_t> bytes, std::size_t at,
                                         bool stackedMask);

// A short English reason when a picture of these sides holds no pixel, has a side over 32,767
// pixels or more than 16 Mi pixels; nullptr when it is within the limits.
const wchar_t* CheckPictureSides(std::int64_t width, std::int64_t height);

// Whether the headers of a GIF, BMP or ICO file (the player's formats) claim a picture within
// those limits, read without decoding anything (for a GIF every frame's claim counts, since
// decoders may expand all frames on opening the file). On refusal *error, when given, receives the
// reason.
bool CheckPictureHeaders(std::span<const std::uint8_t> bytes, std::wstring* error = nullptr);

}  // namespace tovalin::platform

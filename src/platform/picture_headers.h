// The size claims in the headers of GIF, BMP and ICO files, read from the file's bytes without
// decoding anything, so that a hostile file is refused before a decoder allocates for it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tovalin::platform {

inline constexpr std::int32_t kMaxPictureSide = 32767;
inline constexpr std::uint64_t kMaxPicturePixels = 16u * 1024u * 1024u;

enum class PictureFormat { kGif, kBmp, kIco };

// The format the file's signature names ("GIF8", "BM", or an icon directory's 0 0 1 0); nothing
// for anything else.
std::optional<PictureFormat> SniffPictureFormat(std::span<const std::uint8_t> bytes);

// A short English reason when a picture of these sides holds no pixel, has a side over 32,767
// pixels or more than 16 Mi pixels; nullptr when it is within the limits.
const wchar_t* CheckPictureSides(std::int64_t width, std::int64_t height);

// Whether the headers of a GIF, BMP or ICO file claim a picture within those limits, read
// without decoding anything (for a GIF every frame's claim counts, since decoders may expand all
// frames on opening the file). On refusal *error, when given, receives the reason.
bool CheckPictureHeaders(std::span<const std::uint8_t> bytes, std::wstring* error = nullptr);

// Where a GIF's first image lies on its logical screen, read from the logical screen descriptor
// and the first image descriptor. Nothing when the file is no GIF or ends before that
// descriptor.
struct GifPlacement {
    std::uint32_t screenWidth = 0, screenHeight = 0, left = 0, top = 0;
};
std::optional<GifPlacement> ReadGifPlacement(std::span<const std::uint8_t> bytes);

}  // namespace tovalin::platform

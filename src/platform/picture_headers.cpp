#include "platform/picture_headers.h"

#include <algorithm>

#include "platform/byte_order.h"

namespace tovalin::platform {
namespace {

// Some GIF decoders expand every frame of a file as soon as it is opened, one byte per pixel, so
// all frames together are held to a budget, not only the first.
constexpr std::uint64_t kMaxGifPixelsAllFrames = 4 * kMaxImagePixels;

constexpr const wchar_t* kTooLarge = L"picture is larger than 32767 pixels on a side";
constexpr const wchar_t* kTooManyPixels = L"picture has more than 16 Mi pixels";
constexpr const wchar_t* kNoPixels = L"picture has no pixels";
constexpr const wchar_t* kBrokenBmp = L"broken BMP header";
constexpr const wchar_t* kBrokenIco = L"broken icon directory";

// Bounds-checked little- and big-endian reads from the file's bytes.
class Bytes {
  public:
    explicit Bytes(std::span<const std::uint8_t> bytes) noexcept : b_(bytes) {}
    bool Has(std::uint64_t pos, std::uint64_t n) const noexcept {
        return pos <= b_.size() && n <= b_.size() - pos;
    }
    std::uint8_t U8(std::size_t pos) const noexcept { return b_[pos]; }
    std::uint16_t U16(std::size_t pos) const noexcept { return ReadLe16(b_, pos); }
    std::uint32_t U32(std::size_t pos) const noexcept { return ReadLe32(b_, pos); }
    std::uint32_t U32Be(std::size_t pos) const noexcept { return ReadBe32(b_, pos); }
    std::span<const std::uint8_t> All() const noexcept { return b_; }
    bool StartsWith(std::size_t pos, std::span<const std::uint8_t> prefix) const noexcept {
        return Has(pos, prefix.size()) &&
               std::equal(prefix.begin(), prefix.end(), b_.begin() + static_cast<long>(pos));
    }

  private:
    std::span<const std::uint8_t> b_;
};

constexpr std::uint8_t kGif87Signature[] = {'G', 'I', 'F', '8', '7', 'a'};
constexpr std::uint8_t kGif89Signature[] = {'G', 'I', 'F', '8', '9', 'a'};
constexpr std::uint8_t kBmpSignature[] = {'B', 'M'};
constexpr std::uint8_t kIcoSignature[] = {0, 0, 1, 0};
constexpr std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

const wchar_t* CheckLimits(std::int64_t width, std::int64_t height) {
    if (width > kMaxImageSide || height > kMaxImageSide)
        return kTooLarge;
    if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kMaxImagePixels)
        return kTooManyPixels;
    return nullptr;
}

std::size_t GifColourTableBytes(std::uint8_t packed) {
    return (packed & 0x80) ? std::size_t{3} << ((packed & 7) + 1) : 0;
}

std::size_t SkipGifSubBlocks(const Bytes& b, std::size_t pos) {
    while (b.Has(pos, 1)) {
        const std::uint8_t length = b.U8(pos++);
        if (length == 0)
            break;
        pos += length;
    }
    return pos;
}

// Walks the blocks without decoding, so that every image descriptor's claim is checked. A file
// that ends early or holds garbage is left for the decoder to reject.
const wchar_t* CheckGif(const Bytes& b) {
    if (!b.Has(0, 13))
        return L"truncated GIF header";
    if (const wchar_t* reason = CheckLimits(b.U16(6), b.U16(8)))
        return reason;
    std::size_t pos = 13 + GifColourTableBytes(b.U8(10));
    std::uint64_t allFrames = 0;
    while (b.Has(pos, 1)) {
        const std::uint8_t block = b.U8(pos++);
        if (block == 0x21) {
            pos = SkipGifSubBlocks(b, pos + 1);
        } else if (block == 0x2C && b.Has(pos, 9)) {
            const std::uint16_t width = b.U16(pos + 4);
            const std::uint16_t height = b.U16(pos + 6);
            if (const wchar_t* reason = CheckLimits(width, height))
                return reason;
            allFrames += std::uint64_t{width} * height;
            if (allFrames > kMaxGifPixelsAllFrames)
                return L"GIF frames hold too many pixels";
            pos += 9 + GifColourTableBytes(b.U8(pos + 8));
            pos = SkipGifSubBlocks(b, pos + 1);
        } else {
            break;
        }
    }
    return nullptr;
}

const wchar_t* CheckDibHeader(const Bytes& b, std::size_t pos, bool iconHalfHeight) {
    const std::optional<PictureSides> sides = ReadDibSides(b.All(), pos, iconHalfHeight);
    return sides ? CheckPictureSides(sides->width, sides->height) : kBrokenBmp;
}

// Only the first image of the directory is decoded; it is a DIB (colour and mask stacked, hence
// the doubled height) or a PNG.
const wchar_t* CheckIco(const Bytes& b) {
    constexpr std::size_t kFirstEntry = 6;
    if (!b.Has(0, kFirstEntry + 16))
        return kBrokenIco;
    if (b.U16(4) == 0)
        return L"icon holds no image";
    const std::uint32_t offset = b.U32(kFirstEntry + 12);
    if (b.StartsWith(offset, kPngSignature)) {
        const std::optional<PictureSides> sides = ReadPngSides(b.All(), offset);
        return sides ? CheckPictureSides(sides->width, sides->height) : kBrokenIco;
    }
    if (!b.Has(offset, 12))
        return kBrokenIco;
    return CheckDibHeader(b, offset, true);
}

const wchar_t* CheckDeclaredSize(PictureFormat format, const Bytes& b) {
    switch (format) {
        case PictureFormat::kGif:
            return CheckGif(b);
        case PictureFormat::kBmp:
            return CheckDibHeader(b, 14, false);
        case PictureFormat::kIco:
            return CheckIco(b);
        case PictureFormat::kPng:
            break;
    }
    return nullptr;
}

}  // namespace

std::optional<PictureFormat> SniffPictureFormat(std::span<const std::uint8_t> bytes) {
    const Bytes b(bytes);
    if (b.StartsWith(0, kGif87Signature) || b.StartsWith(0, kGif89Signature))
        return PictureFormat::kGif;
    if (b.StartsWith(0, kPngSignature))
        return PictureFormat::kPng;
    if (b.StartsWith(0, kBmpSignature))
        return PictureFormat::kBmp;
    if (b.StartsWith(0, kIcoSignature))
        return PictureFormat::kIco;
    return std::nullopt;
}

std::optional<PictureSides> ReadPngSides(std::span<const std::uint8_t> bytes, std::size_t at) {
    // The signature, then the IHDR chunk: its length (13), its type, the width and the height.
    constexpr std::uint8_t kIhdr[] = {'I', 'H', 'D', 'R'};
    const Bytes b(bytes);
    if (!b.StartsWith(at, kPngSignature) || !b.Has(at, 24) || b.U32Be(at + 8) != 13 ||
        !b.StartsWith(at + 12, kIhdr))
        return std::nullopt;
    return PictureSides{b.U32Be(at + 16), b.U32Be(at + 20)};
}

std::optional<PictureSides> ReadDibSides(std::span<const std::uint8_t> bytes, std::size_t at,
                                         bool stackedMask) {
    const Bytes b(bytes);
    if (!b.Has(at, 4))
        return std::nullopt;
    const std::int64_t share = stackedMask ? 2 : 1;
    const std::uint32_t headerSize = b.U32(at);
    if (headerSize == 12 && b.Has(at, 12))
        return PictureSides{b.U16(at + 4), b.U16(at + 6) / share};
    if (headerSize < 16 || !b.Has(at, 12))
        return std::nullopt;
    const std::int64_t width = static_cast<std::int32_t>(b.U32(at + 4));
    const std::int64_t height = static_cast<std::int32_t>(b.U32(at + 8));
    return PictureSides{width, (height < 0 ? -height : height) / share};
}

const wchar_t* CheckPictureSides(std::int64_t width, std::int64_t height) {
    if (width <= 0 || height <= 0)
        return kNoPixels;
    return CheckLimits(width, height);
}

bool CheckPictureHeaders(std::span<const std::uint8_t> bytes, std::wstring* error) {
    const Bytes view(bytes);
    const std::optional<PictureFormat> format = SniffPictureFormat(bytes);
    const bool playerFormat = format && *format != PictureFormat::kPng;
    const wchar_t* reason =
        playerFormat ? CheckDeclaredSize(*format, view) : L"not a GIF, BMP or ICO file";
    if (reason && error)
        *error = reason;
    return reason == nullptr;
}

}  // namespace tovalin::platform

#include "pack/picture_file.h"

#include <algorithm>
#include <string>
#include <vector>

#include "pack/file_io.h"
#include "pack/icon.h"

namespace tovalin::pack {

namespace {

constexpr std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::size_t kBmpFileHeader = 14;

std::string Quoted(std::string_view utf8) {
    return "「" + std::string(utf8) + "」";
}

bool StartsWith(std::span<const std::uint8_t> bytes, std::span<const std::uint8_t> prefix) {
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

// Reads of fields the caller has made sure are there.
std::uint32_t Little(std::span<const std::uint8_t> bytes, std::size_t at, int width) {
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = (value << 8) | bytes[at + static_cast<std::size_t>(i)];
    return value;
}

std::uint32_t Big32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
           std::uint32_t{bytes[at + 2]} << 8 | std::uint32_t{bytes[at + 3]};
}

[[noreturn]] void Refuse(std::string_view name, const std::string& why) {
    throw PackError(Quoted(name) + "は使えません（" + why + "）。");
}

DeclaredPicture WithinLimits(std::string_view name, std::int64_t width, std::int64_t height) {
    if (!FitsImageLimits(width, height)) {
        Refuse(name, "画像の大きさ " + std::to_string(width) + "×" + std::to_string(height) +
                         "、一辺 1〜" + std::to_string(kMaxImageSide) + " ピクセル、合計 " +
                         std::to_string(kMaxImagePixels) + " ピクセルまで");
    }
    return {static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), 0};
}

// The signature, then the IHDR chunk: its length (13), its type, the width and the height.
DeclaredPicture PngSides(std::span<const std::uint8_t> bytes, std::string_view name) {
    constexpr std::uint8_t kIhdr[] = {'I', 'H', 'D', 'R'};
    if (bytes.size() < 24 || Big32(bytes, 8) != 13 ||
        !std::equal(std::begin(kIhdr), std::end(kIhdr), bytes.begin() + 12))
        Refuse(name, "PNG のヘッダーが壊れています");
    return WithinLimits(name, Big32(bytes, 16), Big32(bytes, 20));
}

// A BITMAPCOREHEADER (12 bytes) holds 16-bit sides, every later header 32-bit ones; a negative
// height marks a picture stored top row first.
DeclaredPicture BmpSides(std::span<const std::uint8_t> bytes, std::string_view name) {
    if (bytes.size() < kBmpFileHeader + 16)
        Refuse(name, "BMP のヘッダーが途中で切れています");
    const std::uint32_t headerSize = Little(bytes, kBmpFileHeader, 4);
    if (headerSize == 12)
        return WithinLimits(name, Little(bytes, 18, 2), Little(bytes, 20, 2));
    if (headerSize < 16 || headerSize > bytes.size() - kBmpFileHeader)
        Refuse(name, "BMP のヘッダーが壊れています");
    const std::int64_t width = static_cast<std::int32_t>(Little(bytes, 18, 4));
    const std::int64_t height = static_cast<std::int32_t>(Little(bytes, 22, 4));
    return WithinLimits(name, width, height < 0 ? -height : height);
}

// An entry's sides as its image states them (the directory's may differ): a PNG's IHDR, a
// DIB's header with the mask's half of the height taken off. ReadIco has checked both.
std::pair<std::int32_t, std::int32_t> EntrySides(const IconEntry& entry) {
    if (StartsWith(entry.image, kPngSignature)) {
        return {static_cast<std::int32_t>(Big32(entry.image, 16)),
                static_cast<std::int32_t>(Big32(entry.image, 20))};
    }
    return {static_cast<std::int32_t>(Little(entry.image, 4, 4)),
            static_cast<std::int32_t>(Little(entry.image, 8, 4)) / 2};
}

// The entry a frame is made from: the largest picture, the most colours among equals.
DeclaredPicture IcoSides(std::span<const std::uint8_t> bytes, std::string_view name) {
    std::vector<IconEntry> entries;
    try {
        entries = ReadIco(bytes);
    } catch (const PackError& error) {
        throw PackError(Quoted(name) + ": " + error.what());
    }
    DeclaredPicture best;
    std::uint16_t bestBits = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto [width, height] = EntrySides(entries[i]);
        const std::uint16_t bits = ImageBitCount(entries[i]);
        const std::int64_t area = std::int64_t{width} * height;
        const std::int64_t bestArea = std::int64_t{best.width} * best.height;
        if (i == 0 || area > bestArea || (area == bestArea && bits > bestBits)) {
            best = {width, height, static_cast<std::uint32_t>(i)};
            bestBits = bits;
        }
    }
    return best;
}

}  // namespace

std::optional<PictureKind> SniffPicture(std::span<const std::uint8_t> bytes) {
    constexpr std::uint8_t kGif87[] = {'G', 'I', 'F', '8', '7', 'a'};
    constexpr std::uint8_t kGif89[] = {'G', 'I', 'F', '8', '9', 'a'};
    constexpr std::uint8_t kBmp[] = {'B', 'M'};
    constexpr std::uint8_t kIco[] = {0, 0, 1, 0};
    if (StartsWith(bytes, kGif87) || StartsWith(bytes, kGif89))
        return PictureKind::kGif;
    if (StartsWith(bytes, kPngSignature))
        return PictureKind::kPng;
    if (StartsWith(bytes, kBmp))
        return PictureKind::kBmp;
    if (StartsWith(bytes, kIco))
        return PictureKind::kIco;
    return std::nullopt;
}

DeclaredPicture CheckDeclaredPicture(std::span<const std::uint8_t> bytes, PictureKind kind,
                                     std::string_view nameUtf8) {
    switch (kind) {
        case PictureKind::kPng:
            return PngSides(bytes, nameUtf8);
        case PictureKind::kBmp:
            return BmpSides(bytes, nameUtf8);
        case PictureKind::kIco:
            return IcoSides(bytes, nameUtf8);
        case PictureKind::kGif:
            break;
    }
    throw PackError(Quoted(nameUtf8) + "はGIF画像です（GIFは移植できる読み手が読みます）。");
}

RgbaImage DecodeStillPicture(std::span<const std::uint8_t> bytes, PictureKind kind,
                             std::string_view nameUtf8) {
    const DeclaredPicture declared = CheckDeclaredPicture(bytes, kind, nameUtf8);
    return DecodeDeclaredPicture(bytes, kind, declared, nameUtf8);
}

FrameSource ReadFrameFile(const std::filesystem::path& path) {
    const std::string name = PathToUtf8(path);
    Bytes bytes = ReadFileAtMost(path, kMaxPictureFileBytes);
    const std::optional<PictureKind> kind = SniffPicture(bytes);
    if (!kind)
        throw PackError(Quoted(name) + "はGIF・PNG・BMP・ICOのどの画像でもありません。");
    if (*kind == PictureKind::kGif)
        return GifFile{name, std::move(bytes)};
    return PictureFrame{name, DecodeStillPicture(bytes, *kind, name)};
}

}  // namespace tovalin::pack

#include "pack/picture_file.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "pack/file_io.h"
#include "pack/icon.h"
#include "platform/byte_order.h"
#include "platform/picture_headers.h"

namespace tovalin::pack {

namespace {

constexpr std::size_t kBmpFileHeader = 14;

std::string Quoted(std::string_view utf8) {
    return "「" + std::string(utf8) + "」";
}

using platform::PictureSides;

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

DeclaredPicture PngSides(std::span<const std::uint8_t> bytes, std::string_view name) {
    const std::optional<PictureSides> sides = platform::ReadPngSides(bytes);
    if (!sides)
        Refuse(name, "PNG のヘッダーが壊れています");
    return WithinLimits(name, sides->width, sides->height);
}

DeclaredPicture BmpSides(std::span<const std::uint8_t> bytes, std::string_view name) {
    if (bytes.size() < kBmpFileHeader + 16)
        Refuse(name, "BMP のヘッダーが途中で切れています");
    const std::optional<PictureSides> sides = platform::ReadDibSides(bytes, kBmpFileHeader, false);
    // The whole header must be there, not only the sides: the decoder reads all of it.
    if (!sides || platform::ReadLe32(bytes, kBmpFileHeader) > bytes.size() - kBmpFileHeader)
        Refuse(name, "BMP のヘッダーが壊れています");
    return WithinLimits(name, sides->width, sides->height);
}

// An entry's sides as its image states them (the directory's may differ). ReadIco has checked
// the image's header.
PictureSides EntrySides(const IconEntry& entry) {
    std::optional<PictureSides> sides = platform::ReadPngSides(entry.image);
    if (!sides)
        sides = platform::ReadDibSides(entry.image, 0, true);
    return sides.value_or(PictureSides{});
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
        const std::int64_t area = width * height;
        const std::int64_t bestArea = std::int64_t{best.width} * best.height;
        if (i == 0 || area > bestArea || (area == bestArea && bits > bestBits)) {
            best = {static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                    static_cast<std::uint32_t>(i)};
            bestBits = bits;
        }
    }
    return best;
}

}  // namespace

DeclaredPicture CheckDeclaredPicture(std::span<const std::uint8_t> bytes, PictureFormat kind,
                                     std::string_view nameUtf8) {
    switch (kind) {
        case PictureFormat::kPng:
            return PngSides(bytes, nameUtf8);
        case PictureFormat::kBmp:
            return BmpSides(bytes, nameUtf8);
        case PictureFormat::kIco:
            return IcoSides(bytes, nameUtf8);
        case PictureFormat::kGif:
            break;
    }
    throw PackError(Quoted(nameUtf8) + "はGIF画像です（GIFは移植できる読み手が読みます）。");
}

RgbaImage DecodeStillPicture(std::span<const std::uint8_t> bytes, PictureFormat kind,
                             std::string_view nameUtf8) {
    const DeclaredPicture declared = CheckDeclaredPicture(bytes, kind, nameUtf8);
    return DecodeDeclaredPicture(bytes, kind, declared, nameUtf8);
}

FrameSource ReadFrameFile(const std::filesystem::path& path) {
    const std::string name = PathToUtf8(path);
    Bytes bytes = ReadFileAtMost(path, kMaxPictureFileBytes);
    const std::optional<PictureFormat> kind = SniffPictureFormat(bytes);
    if (!kind)
        throw PackError(Quoted(name) + "はGIF・PNG・BMP・ICOのどの画像でもありません。");
    if (*kind == PictureFormat::kGif)
        return GifFile{name, std::move(bytes)};
    return PictureFrame{name, DecodeStillPicture(bytes, *kind, name)};
}

}  // namespace tovalin::pack

#include "pack/icon.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "platform/byte_order.h"
#include "platform/picture_headers.h"

namespace tovalin::pack {

namespace {

// The directory's header, then one entry per image.
constexpr std::size_t kDirectorySize = 6, kEntrySize = 16;
constexpr std::uint32_t kInfoHeaderSize = 40;
// A DIB's compressions that an icon may use.
constexpr std::uint32_t kBiRgb = 0, kBiBitfields = 3;

using platform::AppendLittle;
using platform::ReadLittle;

std::size_t RowBytes(std::uint64_t width, std::uint64_t bitsPerPixel) {
    return static_cast<std::size_t>((width * bitsPerPixel + 31) / 32 * 4);
}

bool IsPng(std::span<const std::uint8_t> image) {
    return platform::SniffPictureFormat(image) == platform::PictureFormat::kPng;
}

std::string EntryName(std::size_t index) {
    return "アイコンの " + std::to_string(index + 1) + " 番目の画像";
}

[[noreturn]] void RefuseEntry(const std::string& entry, const std::string& what) {
    throw PackError(entry + "は使えません（" + what + "）。");
}

bool IsIconSide(std::int64_t side) {
    return side >= 1 && side <= kMaxIconSide;
}

void CheckPng(const std::string& entry, std::span<const std::uint8_t> image) {
    const std::optional<platform::PictureSides> sides = platform::ReadPngSides(image);
    if (!sides)
        RefuseEntry(entry, "PNG のヘッダーが読めません");
    if (!IsIconSide(sides->width) || !IsIconSide(sides->height)) {
        RefuseEntry(entry, "大きさ " + std::to_string(sides->width) + "×" +
                               std::to_string(sides->height) + "、一辺 256 ピクセルまで");
    }
}

// A DIB entry: its header, colour table, XOR pixels and AND mask must all lie in the entry.
void CheckDib(const std::string& entry, std::span<const std::uint8_t> image) {
    if (image.size() < kInfoHeaderSize)
        RefuseEntry(entry, "ヘッダーが途中で切れています");
    const std::uint32_t headerSize = ReadLittle(image, 0, 4);
    const auto width = static_cast<std::int32_t>(ReadLittle(image, 4, 4));
    const auto doubledHeight = static_cast<std::int32_t>(ReadLittle(image, 8, 4));
    const std::uint32_t planes = ReadLittle(image, 12, 2);
    const std::uint32_t bitCount = ReadLittle(image, 14, 2);
    const std::uint32_t compression = ReadLittle(image, 16, 4);
    const std::uint32_t coloursUsed = ReadLittle(image, 32, 4);
    if (headerSize < kInfoHeaderSize || headerSize > image.size())
        RefuseEntry(entry, "ヘッダーの長さ " + std::to_string(headerSize));
    if (!IsIconSide(width) || doubledHeight < 2 || !IsIconSide(doubledHeight / 2)) {
        RefuseEntry(entry, "大きさ " + std::to_string(width) + "×" +
                               std::to_string(doubledHeight / 2) + "、一辺 256 ピクセルまで");
    }
    constexpr std::array<std::uint32_t, 6> kBitCounts{1, 4, 8, 16, 24, 32};
    if (planes != 1 ||
        std::find(kBitCounts.begin(), kBitCounts.end(), bitCount) == kBitCounts.end())
        RefuseEntry(entry, "色数の指定が正しくありません");
    const bool bitfields = compression == kBiBitfields && (bitCount == 16 || bitCount == 32);
    if (compression != kBiRgb && !bitfields)
        RefuseEntry(entry, "圧縮形式 " + std::to_string(compression) + " には対応していません");
    const std::uint64_t tableEntries =
        bitCount <= 8 ? (coloursUsed != 0 ? coloursUsed : 1u << bitCount) : 0;
    if (bitCount <= 8 && tableEntries > (1u << bitCount))
        RefuseEntry(entry, "カラーテーブルの色数 " + std::to_string(coloursUsed));
    const std::uint64_t height = static_cast<std::uint64_t>(doubledHeight / 2);
    const std::uint64_t needed =
        std::uint64_t{headerSize} + (bitfields && headerSize == kInfoHeaderSize ? 12 : 0) +
        4 * tableEntries + RowBytes(width, bitCount) * height + RowBytes(width, 1) * height;
    if (needed > image.size())
        RefuseEntry(entry, "画素のデータが途中で切れています");
}

Bytes MakeDibEntry(const RgbaImage& picture) {
    const auto width = static_cast<std::uint32_t>(picture.width);
    const auto height = static_cast<std::uint32_t>(picture.height);
    const std::size_t maskRow = RowBytes(width, 1);
    Bytes dib;
    AppendLittle(dib, kInfoHeaderSize, 4);
    AppendLittle(dib, width, 4);
    AppendLittle(dib, 2 * height, 4);  // the XOR pixels and the AND mask, one above the other
    AppendLittle(dib, 1, 2);
    AppendLittle(dib, 32, 2);
    AppendLittle(dib, kBiRgb, 4);
    AppendLittle(dib, static_cast<std::uint32_t>((4 * width + maskRow) * height), 4);
    for (int i = 0; i < 4; ++i)
        AppendLittle(dib, 0, 4);  // resolution and colour counts: none
    for (std::int32_t y = picture.height; y-- > 0;) {
        for (std::int32_t x = 0; x < picture.width; ++x) {
            const Rgba p = picture.At(x, y);
            if (p.a == 0)
                AppendLittle(dib, 0, 4);
            else
                dib.insert(dib.end(), {p.b, p.g, p.r, p.a});
        }
    }
    for (std::int32_t y = picture.height; y-- > 0;) {
        Bytes row(maskRow, 0);
        for (std::int32_t x = 0; x < picture.width; ++x) {
            if (!IsOpaque(picture.At(x, y)))
                row[static_cast<std::size_t>(x) / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
        dib.insert(dib.end(), row.begin(), row.end());
    }
    return dib;
}

bool IsWellFormed(const RgbaImage& image) {
    return FitsImageLimits(image.width, image.height) &&
           image.pixels.size() == static_cast<std::size_t>(image.width) * image.height;
}

}  // namespace

std::vector<IconEntry> ReadIco(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kDirectorySize || ReadLittle(bytes, 0, 2) != 0 ||
        ReadLittle(bytes, 2, 2) != 1)
        throw PackError("アイコン（ICO）ファイルではありません。");
    const std::size_t count = ReadLittle(bytes, 4, 2);
    if (count == 0)
        throw PackError("アイコンファイルに画像が1つもありません。");
    const std::size_t directoryEnd = kDirectorySize + kEntrySize * count;
    if (directoryEnd > bytes.size())
        throw PackError("アイコンファイルの目録が途中で切れています。");
    std::vector<IconEntry> entries;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = kDirectorySize + kEntrySize * i;
        const std::uint64_t size = ReadLittle(bytes, at + 8, 4);
        const std::uint64_t offset = ReadLittle(bytes, at + 12, 4);
        if (size == 0)
            RefuseEntry(EntryName(i), "データの長さが 0 です");
        if (offset < directoryEnd)
            RefuseEntry(EntryName(i), "データが目録と重なっています");
        if (offset + size > bytes.size())
            RefuseEntry(EntryName(i), "データがファイルの範囲外にあります");
        IconEntry entry;
        entry.width = bytes[at] == 0 ? kMaxIconSide : bytes[at];
        entry.height = bytes[at + 1] == 0 ? kMaxIconSide : bytes[at + 1];
        entry.colourCount = bytes[at + 2];
        entry.reserved = bytes[at + 3];
        entry.planes = static_cast<std::uint16_t>(ReadLittle(bytes, at + 4, 2));
        entry.bitCount = static_cast<std::uint16_t>(ReadLittle(bytes, at + 6, 2));
        std::span<const std::uint8_t> image =
            bytes.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(size));
        if (IsPng(image))
            CheckPng(EntryName(i), image);
        else
            CheckDib(EntryName(i), image);
        entry.image.assign(image.begin(), image.end());
        entries.push_back(std::move(entry));
    }
    return entries;
}

Bytes WriteIco(std::span<const RgbaImage> pictures) {
    if (pictures.empty() || pictures.size() > 0xFFFF)
        throw PackError("アイコンにする画像の数 " + std::to_string(pictures.size()) +
                        " は扱えません。");
    std::vector<Bytes> images;
    for (const RgbaImage& picture : pictures) {
        if (!IsWellFormed(picture) || !IsIconSide(picture.width) || !IsIconSide(picture.height)) {
            throw PackError("アイコンにする画像の大きさ " + std::to_string(picture.width) + "×" +
                            std::to_string(picture.height) +
                            " は扱えません（一辺 256 ピクセルまで）。");
        }
        images.push_back(MakeDibEntry(picture));
    }
    Bytes ico;
    AppendLittle(ico, 0, 2);
    AppendLittle(ico, 1, 2);
    AppendLittle(ico, static_cast<std::uint32_t>(pictures.size()), 2);
    std::size_t offset = kDirectorySize + kEntrySize * pictures.size();
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        // A side of 256 is stored as 0.
        ico.push_back(static_cast<std::uint8_t>(pictures[i].width));
        ico.push_back(static_cast<std::uint8_t>(pictures[i].height));
        ico.push_back(0);  // no palette
        ico.push_back(0);
        AppendLittle(ico, 1, 2);   // planes
        AppendLittle(ico, 32, 2);  // bits per pixel
        AppendLittle(ico, static_cast<std::uint32_t>(images[i].size()), 4);
        AppendLittle(ico, static_cast<std::uint32_t>(offset), 4);
        offset += images[i].size();
    }
    for (const Bytes& image : images)
        ico.insert(ico.end(), image.begin(), image.end());
    return ico;
}

std::uint16_t ImageBitCount(const IconEntry& entry) {
    if (IsPng(entry.image) || entry.image.size() < kInfoHeaderSize)
        return 32;
    return static_cast<std::uint16_t>(ReadLittle(entry.image, 14, 2));
}

RgbaImage DecodeIconEntry(const IconEntry& entry) {
    std::span<const std::uint8_t> dib = entry.image;
    if (IsPng(dib) || dib.size() < kInfoHeaderSize || ReadLittle(dib, 0, 4) != kInfoHeaderSize ||
        ReadLittle(dib, 14, 2) != 32 || ReadLittle(dib, 16, 4) != kBiRgb) {
        throw PackError("32ビット（BI_RGB）以外のアイコン画像は読み込めません。");
    }
    CheckDib("アイコンの画像", dib);
    const auto width = static_cast<std::int32_t>(ReadLittle(dib, 4, 4));
    const auto height = static_cast<std::int32_t>(ReadLittle(dib, 8, 4)) / 2;
    RgbaImage picture = MakeRgbaImage(width, height);
    const std::size_t pixels = kInfoHeaderSize;
    const std::size_t mask = pixels + 4 * static_cast<std::size_t>(width) * height;
    const std::size_t maskRow = RowBytes(static_cast<std::uint64_t>(width), 1);
    bool anyAlpha = false;
    for (std::int32_t y = 0; y < height; ++y) {
        const std::size_t row = static_cast<std::size_t>(height - 1 - y);
        for (std::int32_t x = 0; x < width; ++x) {
            const std::size_t at = pixels + 4 * (row * static_cast<std::size_t>(width) + x);
            picture.At(x, y) = Rgba{dib[at + 2], dib[at + 1], dib[at], dib[at + 3]};
            anyAlpha = anyAlpha || dib[at + 3] != 0;
        }
    }
    // Entries written before alpha channels existed leave alpha at 0 everywhere; the system then
    // takes transparency from the mask alone, and so does this.
    if (!anyAlpha) {
        for (std::int32_t y = 0; y < height; ++y) {
            const std::size_t row = mask + static_cast<std::size_t>(height - 1 - y) * maskRow;
            for (std::int32_t x = 0; x < width; ++x) {
                const bool clear = dib[row + static_cast<std::size_t>(x) / 8] & (0x80 >> (x % 8));
                picture.At(x, y).a = clear ? 0 : 255;
            }
        }
    }
    return picture;
}

RgbaImage FitToSquare(const RgbaImage& frame, std::int32_t side) {
    if (!IsWellFormed(frame) || !IsIconSide(side)) {
        throw PackError("アイコンを作れません（画像 " + std::to_string(frame.width) + "×" +
                        std::to_string(frame.height) + "、アイコンの一辺 " + std::to_string(side) +
                        "）。");
    }
    const std::int64_t w = frame.width, h = frame.height;
    std::int64_t fittedWidth = side, fittedHeight = side;
    if (w >= h)
        fittedHeight = std::max<std::int64_t>(1, (h * side + w / 2) / w);
    else
        fittedWidth = std::max<std::int64_t>(1, (w * side + h / 2) / h);
    const std::int64_t left = (side - fittedWidth) / 2;
    const std::int64_t top = (side - fittedHeight) / 2;
    RgbaImage icon = MakeRgbaImage(side, side);
    for (std::int64_t y = 0; y < fittedHeight; ++y) {
        // Each icon pixel takes the frame pixel under its centre.
        const std::int64_t sourceY = (2 * y + 1) * h / (2 * fittedHeight);
        for (std::int64_t x = 0; x < fittedWidth; ++x) {
            const std::int64_t sourceX = (2 * x + 1) * w / (2 * fittedWidth);
            const Rgba p =
                frame.At(static_cast<std::int32_t>(sourceX), static_cast<std::int32_t>(sourceY));
            icon.At(static_cast<std::int32_t>(left + x), static_cast<std::int32_t>(top + y)) =
                IsOpaque(p) ? Rgba{p.r, p.g, p.b, 255} : Rgba{};
        }
    }
    return icon;
}

Bytes MakeCharacterIcon(const RgbaImage& firstFrame) {
    std::vector<RgbaImage> sizes;
    for (std::int32_t side : kCharacterIconSizes)
        sizes.push_back(FitToSquare(firstFrame, side));
    return WriteIco(sizes);
}

}  // namespace tovalin::pack

#include "platform/gif_decoder.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/byte_order.h"

namespace tovalin::platform {

namespace {

// The bytes that start each kind of block, and the one extension label that matters.
constexpr std::uint8_t kTrailer = 0x3B, kExtensionIntroducer = 0x21, kImageSeparator = 0x2C;
constexpr std::uint8_t kGraphicControlLabel = 0xF9;
constexpr std::uint32_t kLzwCodes = 4096;
constexpr std::uint32_t kLzwMaxBits = 12;
constexpr Rgba kTransparent{0, 0, 0, 0};
constexpr Rgba kMissingColour{0, 0, 0, 255};

// What a decoding may spend: images, and pixels touched in all.
struct Limits {
    std::size_t maxFrames = 0;
    std::uint64_t maxPixels = 0;
};

std::string FrameText(std::size_t index) {
    return "GIF画像の " + std::to_string(index + 1) + " 枚目の画像";
}

// Thrown when the file ends inside a structure. The block loop catches it and keeps what was
// decoded before, as a viewer does with a file that is still loading.
struct EndOfFile {};

class ByteReader {
  public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool AtEnd() const { return offset_ >= bytes_.size(); }

    std::uint8_t Byte() {
        if (AtEnd())
            throw EndOfFile{};
        return bytes_[offset_++];
    }

    std::uint16_t Word() { return ReadLe16(Take(2), 0); }

    std::span<const std::uint8_t> Take(std::size_t count) {
        if (count > bytes_.size() - offset_)
            throw EndOfFile{};
        std::span<const std::uint8_t> taken = bytes_.subspan(offset_, count);
        offset_ += count;
        return taken;
    }

    // Data sub-blocks up to their zero-length terminator, appended to `into` when given; false
    // when the file ends first, with what there was appended.
    bool SubBlocks(std::vector<std::uint8_t>* into) {
        while (!AtEnd()) {
            const std::size_t length = Byte();
            if (length == 0)
                return true;
            const std::size_t available = std::min(length, bytes_.size() - offset_);
            if (into)
                into->insert(into->end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset_),
                             bytes_.begin() + static_cast<std::ptrdiff_t>(offset_ + available));
            offset_ += available;
        }
        return false;
    }

  private:
    std::span<const std::uint8_t> bytes_;
    std::size_t offset_ = 0;
};

using ColourTable = std::vector<Rgba>;

ColourTable ReadColourTable(ByteReader& reader, std::uint8_t sizeBits) {
    const std::size_t entries = std::size_t{2} << (sizeBits & 7);
    std::span<const std::uint8_t> rgb = reader.Take(3 * entries);
    ColourTable table(entries);
    for (std::size_t i = 0; i < entries; ++i)
        table[i] = Rgba{rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2], 255};
    return table;
}

// Codes of the image data, least significant bit first across byte boundaries.
class CodeReader {
  public:
    explicit CodeReader(std::span<const std::uint8_t> data) : data_(data) {}

    std::optional<std::uint32_t> Read(std::uint32_t width) {
        while (bits_ < width) {
            if (offset_ == data_.size())
                return std::nullopt;
            buffer_ |= static_cast<std::uint32_t>(data_[offset_++]) << bits_;
            bits_ += 8;
        }
        const std::uint32_t code = buffer_ & ((1u << width) - 1);
        buffer_ >>= width;
        bits_ -= width;
        return code;
    }

  private:
    std::span<const std::uint8_t> data_;
    std::size_t offset_ = 0;
    std::uint32_t buffer_ = 0;
    std::uint32_t bits_ = 0;
};

struct LzwResult {
    std::size_t pixels = 0;  // indices written, at most out.size()
    bool corrupt = false;    // a code the table did not hold yet
};

// The string table: each code is its prefix code plus one index; the first index and the length
// let a string be written back to front straight into the output.
class LzwTable {
  public:
    explicit LzwTable(std::uint32_t clearCode) {
        for (std::uint32_t code = 0; code < clearCode; ++code) {
            suffix_[code] = static_cast<std::uint8_t>(code);
            first_[code] = static_cast<std::uint8_t>(code);
            length_[code] = 1;
        }
    }

    std::uint8_t First(std::uint32_t code) const { return first_[code]; }

    void Add(std::uint32_t code, std::uint32_t prefix, std::uint8_t last) {
        prefix_[code] = static_cast<std::uint16_t>(prefix);
        suffix_[code] = last;
        first_[code] = first_[prefix];
        length_[code] = static_cast<std::uint16_t>(length_[prefix] + 1);
    }

    // Writes the code's string at `at`, dropping what falls past the end; returns its length.
    std::size_t Write(std::uint32_t code, std::span<std::uint8_t> out, std::size_t at) const {
        const std::size_t length = length_[code];
        for (std::size_t i = length; i-- > 0;) {
            if (at + i < out.size())
                out[at + i] = suffix_[code];
            code = prefix_[code];
        }
        return length;
    }

  private:
    std::array<std::uint16_t, kLzwCodes> prefix_{};
    std::array<std::uint8_t, kLzwCodes> suffix_{};
    std::array<std::uint8_t, kLzwCodes> first_{};
    std::array<std::uint16_t, kLzwCodes> length_{};
};

// Decodes until the end code, the end of the data or a full output. A table that fills up
// stays as it is until the next clear code, which GIF allows.
LzwResult DecodeLzw(std::span<const std::uint8_t> data, std::uint32_t minCodeSize,
                    std::span<std::uint8_t> out) {
    const std::uint32_t clear = 1u << minCodeSize;
    const std::uint32_t end = clear + 1;
    auto table = std::make_unique<LzwTable>(clear);
    CodeReader reader(data);
    std::uint32_t width = minCodeSize + 1;
    std::uint32_t next = clear + 2;
    constexpr std::uint32_t kNone = UINT32_MAX;
    std::uint32_t previous = kNone;  // the code before, none right after a clear code
    LzwResult result;
    while (result.pixels < out.size()) {
        const std::optional<std::uint32_t> code = reader.Read(width);
        if (!code || *code == end)
            break;
        if (*code == clear) {
            width = minCodeSize + 1;
            next = clear + 2;
            previous = kNone;
            continue;
        }
        if (previous == kNone) {
            if (*code > clear) {
                result.corrupt = true;
                break;
            }
        } else if (*code > next) {
            result.corrupt = true;
            break;
        } else if (next < kLzwCodes) {
            // For the code not yet in the table (it must be `next`) the new string is the
            // previous one plus its own first index.
            const std::uint32_t firstOf = *code == next ? previous : *code;
            table->Add(next, previous, table->First(firstOf));
            ++next;
            if (next == (1u << width) && width < kLzwMaxBits)
                ++width;
        }
        result.pixels += table->Write(*code, out, result.pixels);
        previous = *code;
    }
    result.pixels = std::min(result.pixels, out.size());
    return result;
}

// Row of the image that the n-th stored row is, for the four passes of an interlaced image.
std::vector<std::int32_t> RowOrder(std::int32_t height, bool interlaced) {
    std::vector<std::int32_t> order;
    order.reserve(static_cast<std::size_t>(height));
    if (!interlaced) {
        for (std::int32_t y = 0; y < height; ++y)
            order.push_back(y);
        return order;
    }
    constexpr std::array<std::pair<std::int32_t, std::int32_t>, 4> kPasses{
        {{0, 8}, {4, 8}, {2, 4}, {1, 2}}};
    for (const auto& [start, step] : kPasses) {
        for (std::int32_t y = start; y < height; y += step)
            order.push_back(y);
    }
    return order;
}

struct GraphicControl {
    std::uint8_t disposal = 0;
    std::uint16_t delay = 0;
    std::optional<std::uint8_t> transparent;
};

struct ImageDescriptor {
    std::int64_t left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
};

// The logical screen before anything is drawn on it; its sides are within the limits.
RgbaImage TransparentScreen(std::int32_t width, std::int32_t height) {
    RgbaImage screen;
    screen.width = width;
    screen.height = height;
    screen.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
                         kTransparent);
    return screen;
}

class GifReader {
  public:
    GifReader(std::span<const std::uint8_t> bytes, const Limits& limits, bool firstOnly)
        : reader_(bytes), limits_(limits), firstOnly_(firstOnly) {}

    GifAnimation Run() {
        ReadScreen();
        try {
            while (ReadBlock()) {
            }
        } catch (const EndOfFile&) {
            animation_.incomplete = true;
        }
        if (animation_.frames.empty()) {
            throw PictureError(animation_.incomplete
                                   ? "GIF画像が最初の画像を読み終える前に終わっています。"
                                   : "GIF画像に画像が1枚もありません。");
        }
        return std::move(animation_);
    }

  private:
    void ReadScreen() {
        try {
            std::span<const std::uint8_t> signature = reader_.Take(6);
            std::string_view text(reinterpret_cast<const char*>(signature.data()), 6);
            if (text != "GIF87a" && text != "GIF89a")
                throw PictureError(
                    "GIF画像ではありません（先頭が GIF87a／GIF89a ではありません）。");
            const std::uint16_t width = reader_.Word();
            const std::uint16_t height = reader_.Word();
            const std::uint8_t packed = reader_.Byte();
            reader_.Take(2);  // background colour index and aspect ratio: not used
            if (!FitsImageLimits(width, height)) {
                throw PictureError("GIF画像の画面の大きさ " + std::to_string(width) + "×" +
                                   std::to_string(height) + " は扱えません（一辺 1〜" +
                                   std::to_string(kMaxImageSide) + " ピクセル、合計 " +
                                   std::to_string(kMaxImagePixels) + " ピクセルまで）。");
            }
            if (packed & 0x80)
                global_ = ReadColourTable(reader_, packed);
            animation_.screenWidth = width;
            animation_.screenHeight = height;
        } catch (const EndOfFile&) {
            throw PictureError("GIF画像のヘッダーが途中で切れています。");
        }
        Spend(ScreenArea());
        canvas_ = TransparentScreen(animation_.screenWidth, animation_.screenHeight);
    }

    // False once the blocks end: the trailer, the first image when only that is wanted, or
    // something that is not a block.
    bool ReadBlock() {
        if (reader_.AtEnd()) {
            animation_.incomplete = true;
            return false;
        }
        switch (reader_.Byte()) {
            case kTrailer:
                return false;
            case kExtensionIntroducer:
                ReadExtension();
                return true;
            case kImageSeparator:
                return ReadImage() && !firstOnly_;
            default:
                animation_.incomplete = true;
                return false;
        }
    }

    // Only the Graphic Control Extension matters; application (looping), comment and plain
    // text extensions are skipped.
    void ReadExtension() {
        const std::uint8_t label = reader_.Byte();
        if (label != kGraphicControlLabel) {
            if (!reader_.SubBlocks(nullptr))
                throw EndOfFile{};
            return;
        }
        std::vector<std::uint8_t> data;
        if (!reader_.SubBlocks(&data))
            throw EndOfFile{};
        if (data.size() < 4)
            return;
        control_.disposal = static_cast<std::uint8_t>((data[0] >> 2) & 7);
        control_.delay = ReadLe16(data, 1);
        control_.transparent.reset();
        if (data[0] & 1)
            control_.transparent = data[3];
    }

    ImageDescriptor ReadDescriptor(std::uint8_t& packed) {
        ImageDescriptor image;
        image.left = reader_.Word();
        image.top = reader_.Word();
        image.width = reader_.Word();
        image.height = reader_.Word();
        packed = reader_.Byte();
        image.interlaced = (packed & 0x40) != 0;
        return image;
    }

    // False when the file ended inside the image's data.
    bool ReadImage() {
        const std::size_t index = animation_.frames.size();
        if (index >= limits_.maxFrames) {
            throw TooManyGifFrames("GIF画像のフレームが多すぎます（最大 " +
                                   std::to_string(limits_.maxFrames) + " 枚）。");
        }
        std::uint8_t packed = 0;
        const ImageDescriptor image = ReadDescriptor(packed);
        const std::uint64_t area = static_cast<std::uint64_t>(image.width * image.height);
        if (area > kMaxImagePixels) {
            throw PictureError(FrameText(index) + "の大きさ " + std::to_string(image.width) + "×" +
                               std::to_string(image.height) + " は扱えません。");
        }
        ColourTable local;
        if (packed & 0x80)
            local = ReadColourTable(reader_, packed);
        const std::uint8_t minCodeSize = reader_.Byte();
        if (minCodeSize < 2 || minCodeSize > 8) {
            throw PictureError(FrameText(index) + "の LZW 最小符号長 " +
                               std::to_string(minCodeSize) + " は正しくありません（2〜8）。");
        }
        std::vector<std::uint8_t> data;
        const bool complete = reader_.SubBlocks(&data);

        const bool restoresPrevious = control_.disposal == 3 || control_.disposal == 4;
        Spend(area + ScreenArea() * (restoresPrevious ? 2 : 1));
        std::vector<std::uint8_t> indices(static_cast<std::size_t>(area));
        const LzwResult decoded = DecodeLzw(data, minCodeSize, indices);
        if (decoded.corrupt)
            throw PictureError(FrameText(index) +
                               "のデータが壊れています（表にない LZW 符号があります）。");
        if (!complete || decoded.pixels < indices.size())
            animation_.incomplete = true;

        RgbaImage previous;
        if (restoresPrevious)
            previous = canvas_;
        Draw(image, (packed & 0x80) ? local : global_, indices, decoded.pixels);
        animation_.frames.push_back(GifFrame{canvas_, control_.delay});
        if (control_.disposal == 2)
            Clear(image);
        else if (restoresPrevious)
            canvas_ = std::move(previous);
        control_ = GraphicControl{};
        return complete;
    }

    void Draw(const ImageDescriptor& image, const ColourTable& colours,
              std::span<const std::uint8_t> indices, std::size_t decoded) {
        const std::vector<std::int32_t> rows =
            RowOrder(static_cast<std::int32_t>(image.height), image.interlaced);
        const auto width = static_cast<std::size_t>(image.width);
        for (std::size_t row = 0; row < rows.size() && row * width < decoded; ++row) {
            const std::int64_t y = image.top + rows[row];
            if (y >= canvas_.height)
                continue;
            const std::size_t count = std::min(width, decoded - row * width);
            for (std::size_t x = 0; x < count; ++x) {
                const std::int64_t screenX = image.left + static_cast<std::int64_t>(x);
                if (screenX >= canvas_.width)
                    break;
                const std::uint8_t colour = indices[row * width + x];
                if (control_.transparent == colour)
                    continue;
                canvas_.At(static_cast<std::int32_t>(screenX), static_cast<std::int32_t>(y)) =
                    colour < colours.size() ? colours[colour] : kMissingColour;
            }
        }
    }

    // Disposal 2: the image's rectangle, as far as it lies on the screen, back to background.
    void Clear(const ImageDescriptor& image) {
        const std::int64_t right = std::min<std::int64_t>(image.left + image.width, canvas_.width);
        const std::int64_t bottom =
            std::min<std::int64_t>(image.top + image.height, canvas_.height);
        for (std::int64_t y = image.top; y < bottom; ++y) {
            for (std::int64_t x = image.left; x < right; ++x)
                canvas_.At(static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)) =
                    kTransparent;
        }
    }

    std::uint64_t ScreenArea() const {
        return static_cast<std::uint64_t>(animation_.screenWidth) *
               static_cast<std::uint64_t>(animation_.screenHeight);
    }

    void Spend(std::uint64_t pixels) {
        spent_ += pixels;
        if (spent_ > limits_.maxPixels) {
            throw PictureError("GIF画像が大きすぎます（画面の大きさとフレーム数から、" +
                               std::to_string(limits_.maxPixels) +
                               " ピクセルを越える展開が必要です）。");
        }
    }

    ByteReader reader_;
    Limits limits_;
    bool firstOnly_;
    GifAnimation animation_;
    ColourTable global_;
    GraphicControl control_;
    RgbaImage canvas_;
    std::uint64_t spent_ = 0;
};

}  // namespace

GifAnimation DecodeGif(std::span<const std::uint8_t> bytes, std::size_t maxFrames,
                       std::uint64_t maxPixels) {
    return GifReader(bytes, Limits{maxFrames, maxPixels}, false).Run();
}

GifAnimation DecodeGifFirstFrame(std::span<const std::uint8_t> bytes, std::uint64_t maxPixels) {
    return GifReader(bytes, Limits{1, maxPixels}, true).Run();
}

}  // namespace tovalin::platform

#include "pack/gif_encoder.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>

namespace tovalin::pack {

namespace {

constexpr std::uint32_t kLzwCodes = 4096;
constexpr std::uint32_t kLzwMaxBits = 12;
constexpr std::size_t kMaxSubBlock = 255;

void PutWord(Bytes& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

// Codes packed least significant bit first, as GIF stores them.
class BitWriter {
  public:
    void Put(std::uint32_t code, std::uint32_t width) {
        buffer_ |= code << bits_;
        bits_ += width;
        while (bits_ >= 8) {
            bytes_.push_back(static_cast<std::uint8_t>(buffer_));
            buffer_ >>= 8;
            bits_ -= 8;
        }
    }

    Bytes Finish() {
        if (bits_ > 0)
            bytes_.push_back(static_cast<std::uint8_t>(buffer_));
        bits_ = 0;
        buffer_ = 0;
        return std::move(bytes_);
    }

  private:
    Bytes bytes_;
    std::uint32_t buffer_ = 0;
    std::uint32_t bits_ = 0;
};

// The strings in the table, found by prefix code and the index that extends it. Open
// addressing over twice as many slots as there are codes, so that probing always ends; the
// probe order depends on the key alone, which keeps the output the same everywhere.
class StringTable {
  public:
    void Clear() { keys_.fill(kEmpty); }

    std::optional<std::uint32_t> Find(std::uint32_t prefix, std::uint8_t index) const {
        const std::uint32_t key = Key(prefix, index);
        for (std::size_t slot = Slot(key);; slot = (slot + 1) % kSlots) {
            if (keys_[slot] == kEmpty)
                return std::nullopt;
            if (keys_[slot] == key)
                return codes_[slot];
        }
    }

    void Add(std::uint32_t prefix, std::uint8_t index, std::uint32_t code) {
        const std::uint32_t key = Key(prefix, index);
        std::size_t slot = Slot(key);
        while (keys_[slot] != kEmpty)
            slot = (slot + 1) % kSlots;
        keys_[slot] = key;
        codes_[slot] = static_cast<std::uint16_t>(code);
    }

  private:
    static constexpr std::size_t kSlots = 2 * kLzwCodes;
    static constexpr std::uint32_t kEmpty = UINT32_MAX;

    static std::uint32_t Key(std::uint32_t prefix, std::uint8_t index) {
        return (prefix << 8) | index;
    }
    static std::size_t Slot(std::uint32_t key) {
        return static_cast<std::size_t>((key * 2654435761u) >> 19) % kSlots;
    }

    std::array<std::uint32_t, kSlots> keys_{};
    std::array<std::uint16_t, kSlots> codes_{};
};

// The code stream as the decoder will read it. The decoder adds a string for every code but
// the first after a clear code, one step behind this side's table, and widens its codes when
// its next free code reaches a power of two; the width used here follows the decoder's, so
// that both always agree on where a code ends.
class CodeStream {
  public:
    explicit CodeStream(std::uint32_t minCodeSize)
        : minCodeSize_(minCodeSize), clear_(1u << minCodeSize), width_(minCodeSize + 1) {
        Clear();
    }

    void Clear() {
        bits_.Put(clear_, width_);
        width_ = minCodeSize_ + 1;
        decoderNext_ = clear_ + 2;
        decoderHasPrevious_ = false;
    }

    void Put(std::uint32_t code) {
        bits_.Put(code, width_);
        if (decoderHasPrevious_ && decoderNext_ < kLzwCodes) {
            ++decoderNext_;
            if (decoderNext_ == (1u << width_) && width_ < kLzwMaxBits)
                ++width_;
        }
        decoderHasPrevious_ = true;
    }

    Bytes Finish() {
        bits_.Put(clear_ + 1, width_);
        return bits_.Finish();
    }

  private:
    std::uint32_t minCodeSize_;
    std::uint32_t clear_;
    std::uint32_t width_ = 0;
    std::uint32_t decoderNext_ = 0;
    bool decoderHasPrevious_ = false;
    BitWriter bits_;
};

// When the table is full it is cleared and started again, which keeps every code at 12 bits
// or less without relying on decoders that tolerate a full table.
Bytes CompressLzw(std::span<const std::uint8_t> indices, std::uint32_t minCodeSize) {
    const std::uint32_t clear = 1u << minCodeSize;
    auto table = std::make_unique<StringTable>();
    table->Clear();
    CodeStream stream(minCodeSize);
    std::uint32_t next = clear + 2;
    std::uint32_t prefix = indices[0];
    for (std::size_t i = 1; i < indices.size(); ++i) {
        const std::uint8_t index = indices[i];
        if (const std::optional<std::uint32_t> code = table->Find(prefix, index)) {
            prefix = *code;
            continue;
        }
        stream.Put(prefix);
        table->Add(prefix, index, next++);
        if (next == kLzwCodes) {
            stream.Clear();
            table->Clear();
            next = clear + 2;
        }
        prefix = index;
    }
    stream.Put(prefix);
    return stream.Finish();
}

// Bits per entry of the smallest power-of-two colour table that holds the palette; GIF has
// no table smaller than 2 entries.
std::uint32_t TableBits(std::size_t paletteSize) {
    std::uint32_t bits = 1;
    while ((std::size_t{1} << bits) < paletteSize)
        ++bits;
    return bits;
}

void PutHeader(Bytes& out, const IndexedImage& image, std::uint32_t tableBits) {
    out.insert(out.end(), {'G', 'I', 'F', '8', '9', 'a'});
    PutWord(out, static_cast<std::uint32_t>(image.width));
    PutWord(out, static_cast<std::uint32_t>(image.height));
    // Global table present, 8 bits per primary, unsorted, its size.
    out.push_back(static_cast<std::uint8_t>(0x80 | (7 << 4) | (tableBits - 1)));
    out.push_back(0);  // background: entry 0, the transparent one when there is one
    out.push_back(0);  // no aspect ratio
    for (std::size_t i = 0; i < (std::size_t{1} << tableBits); ++i) {
        const Rgb colour = i < image.palette.size() ? image.palette[i] : Rgb{};
        out.insert(out.end(), {colour.r, colour.g, colour.b});
    }
}

void PutGraphicControl(Bytes& out, std::uint8_t transparentIndex) {
    // Block of 4: transparency flag only, no delay, the index, the terminator.
    out.insert(out.end(), {0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, transparentIndex, 0x00});
}

void PutImage(Bytes& out, const IndexedImage& image, std::uint32_t tableBits) {
    out.push_back(0x2C);
    PutWord(out, 0);
    PutWord(out, 0);
    PutWord(out, static_cast<std::uint32_t>(image.width));
    PutWord(out, static_cast<std::uint32_t>(image.height));
    out.push_back(0);  // no local table, not interlaced
    const std::uint32_t minCodeSize = std::max<std::uint32_t>(2, tableBits);
    out.push_back(static_cast<std::uint8_t>(minCodeSize));
    const Bytes data = CompressLzw(image.indices, minCodeSize);
    for (std::size_t at = 0; at < data.size(); at += kMaxSubBlock) {
        const std::size_t length = std::min(kMaxSubBlock, data.size() - at);
        out.push_back(static_cast<std::uint8_t>(length));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                   data.begin() + static_cast<std::ptrdiff_t>(at + length));
    }
    out.push_back(0);
}

}  // namespace

Bytes EncodeGif(const IndexedImage& image) {
    CheckIndexedImage(image);
    const std::uint32_t tableBits = TableBits(image.palette.size());
    Bytes out;
    out.reserve(1024 + image.indices.size() / 2);
    PutHeader(out, image, tableBits);
    if (image.transparentIndex)
        PutGraphicControl(out, *image.transparentIndex);
    PutImage(out, image, tableBits);
    out.push_back(0x3B);
    return out;
}

}  // namespace tovalin::pack

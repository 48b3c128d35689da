// The region builder on arbitrary pixels and sizes, checked against what the system's region
// union would report: an exact header, banded rectangles inside the frame, the union covering
// precisely the pixels that differ from the key, and a record left alone whenever it returns 0.
//
// Input: byte 0 flags, bytes 1..8 the sides, bytes 9..12 the key, then the pixels.
//   flags & 3         pixel encoding: 1 bit, 2 bits (four-colour palette), 1 byte (palette), or
//                     4 bytes raw per pixel
//   (flags >> 2) & 3  sides: small (1..64), 16-bit signed, 32-bit raw, or long rows (1..65,536)
//   flags & 0x10      tile the pixels to fill the frame (up to kMaxPixels)
//   flags & 0x20      hand over one pixel too few
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "fuzz_check.h"
#include "shape/region.h"

namespace {

namespace shape = tovalin::shape;
using tovalin::fuzz::ReadLE;

constexpr std::size_t kHeaderBytes = 13;
// Enough for a row of 32,767 pixels and for well over 4,000 rectangles, small enough to keep
// thousands of runs a second.
constexpr std::size_t kMaxPixels = std::size_t{1} << 16;
constexpr std::size_t kRasteriseLimit = 1u << 14;

// Entry 2 has entry 0's colour under another high byte: it must read as entry 0.
constexpr std::array<std::uint32_t, 4> kPalette{0x00F0F0F0, 0x00203040, 0xFFF0F0F0, 0x00F0F0F1};

struct Rect {
    std::int32_t left, top, right, bottom;
    bool operator==(const Rect&) const = default;
};

struct Input {
    std::int32_t width = 0, height = 0;
    std::uint32_t key = 0;
    std::vector<std::uint32_t> pixels;
};

FUZZ_ORACLE std::vector<std::uint32_t> DecodePixels(std::span<const std::uint8_t> data,
                                                    int encoding) {
    std::vector<std::uint32_t> pixels;
    for (std::size_t i = 0; i < data.size() && pixels.size() < kMaxPixels; ++i) {
        switch (encoding) {
            case 0:
                for (int bit = 0; bit < 8; ++bit)
                    pixels.push_back(kPalette[(data[i] >> bit) & 1]);
                break;
            case 1:
                for (int pair = 0; pair < 4; ++pair)
                    pixels.push_back(kPalette[(data[i] >> (2 * pair)) & 3]);
                break;
            case 2:
                pixels.push_back(kPalette[data[i] & 3] ^ (std::uint32_t{data[i]} & 0xFC) << 24);
                break;
            default:
                if (i + 4 <= data.size())
                    pixels.push_back(static_cast<std::uint32_t>(ReadLE(data, i, 4)));
                i += 3;
                break;
        }
    }
    return pixels;
}

void ReadSides(std::span<const std::uint8_t> data, int mode, Input& in) {
    switch (mode) {
        case 0:
            in.width = 1 + data[1] % 64;
            in.height = 1 + data[2] % 64;
            break;
        case 1:
            in.width = static_cast<std::int16_t>(ReadLE(data, 1, 2));
            in.height = static_cast<std::int16_t>(ReadLE(data, 3, 2));
            break;
        case 2:
            in.width = static_cast<std::int32_t>(ReadLE(data, 1, 4));
            in.height = static_cast<std::int32_t>(ReadLE(data, 5, 4));
            break;
        default:
            in.width = 1 + static_cast<std::int32_t>(ReadLE(data, 1, 2));
            in.height = 1 + data[3] % 4;
            break;
    }
}

bool Valid(const Input& in) {
    return in.width >= 1 && in.height >= 1 && in.width <= tovalin::platform::kMaxImageSide &&
           in.height <= tovalin::platform::kMaxImageSide &&
           in.pixels.size() >= static_cast<std::size_t>(in.width) * in.height;
}

FUZZ_ORACLE bool Differs(const Input& in, std::int32_t x, std::int32_t y) {
    const std::uint32_t pixel = in.pixels[static_cast<std::size_t>(y) * in.width + x];
    return ((pixel ^ in.key) & 0x00FFFFFF) != 0;
}

// The banded rectangles the system's union gives, built the plain way: the maximal runs of each
// row, and a row whose runs equal the band above only deepening that band. Stops once there are
// more than a record holds.
FUZZ_ORACLE std::vector<Rect> ReferenceRects(const Input& in) {
    std::vector<Rect> rects;
    std::size_t bandStart = 0;
    for (std::int32_t y = 0; y < in.height && rects.size() <= shape::kRegionMaxRects; ++y) {
        std::vector<Rect> row;
        for (std::int32_t x = 0; x < in.width;) {
            if (!Differs(in, x, y)) {
                ++x;
                continue;
            }
            const std::int32_t left = x;
            while (x < in.width && Differs(in, x, y))
                ++x;
            row.push_back({left, y, x, y + 1});
        }
        const bool extends = !row.empty() && bandStart < rects.size() && rects.back().bottom == y &&
                             rects.size() - bandStart == row.size() &&
                             std::equal(row.begin(), row.end(), rects.begin() + bandStart,
                                        [](const Rect& a, const Rect& b) {
                                            return a.left == b.left && a.right == b.right;
                                        });
        if (extends) {
            for (std::size_t i = bandStart; i < rects.size(); ++i)
                rects[i].bottom = y + 1;
        } else if (!row.empty()) {
            bandStart = rects.size();
            rects.insert(rects.end(), row.begin(), row.end());
        }
    }
    return rects;
}

std::uint32_t Word(const shape::RegionRecord& record, std::size_t index) {
    std::uint32_t value;
    std::memcpy(&value, record.bytes.data() + 4 * index, 4);
    return value;
}

FUZZ_ORACLE std::vector<Rect> RecordRects(const shape::RegionRecord& record, std::uint32_t count) {
    std::vector<Rect> rects(count);
    std::memcpy(rects.data(), record.bytes.data() + shape::kRegionHeaderSize,
                count * shape::kRegionRectSize);
    return rects;
}

FUZZ_ORACLE void CheckBands(const Input& in, const std::vector<Rect>& rects) {
    for (std::size_t i = 0; i < rects.size(); ++i) {
        const Rect& r = rects[i];
        FUZZ_CHECK(0 <= r.left && r.left < r.right && r.right <= in.width);
        FUZZ_CHECK(0 <= r.top && r.top < r.bottom && r.bottom <= in.height);
        if (i == 0)
            continue;
        const Rect& p = rects[i - 1];
        if (r.top == p.top) {
            // Within a band: same rows, left to right, never touching (touching runs are one).
            FUZZ_CHECK(r.bottom == p.bottom && r.left > p.right);
        } else {
            FUZZ_CHECK(r.top >= p.bottom);
        }
    }
}

// Every differing pixel lies in exactly one rectangle and no other pixel lies in any.
FUZZ_ORACLE void CheckCoverage(const Input& in, const std::vector<Rect>& rects) {
    std::vector<std::uint8_t> hits(static_cast<std::size_t>(in.width) * in.height, 0);
    for (const Rect& r : rects) {
        for (std::int32_t y = r.top; y < r.bottom; ++y) {
            for (std::int32_t x = r.left; x < r.right; ++x) {
                std::uint8_t& hit = hits[static_cast<std::size_t>(y) * in.width + x];
                FUZZ_CHECK(hit == 0);
                hit = 1;
            }
        }
    }
    for (std::int32_t y = 0; y < in.height; ++y)
        for (std::int32_t x = 0; x < in.width; ++x)
            FUZZ_CHECK((hits[static_cast<std::size_t>(y) * in.width + x] != 0) ==
                       Differs(in, x, y));
}

FUZZ_ORACLE void CheckRecord(const Input& in, std::uint32_t size, const shape::RegionRecord& record,
                             const shape::RegionRecord& before) {
    const std::uint32_t count = Word(record, 2);
    FUZZ_CHECK(count >= 1 && count <= shape::kRegionMaxRects);
    FUZZ_CHECK(size == shape::kRegionHeaderSize + shape::kRegionRectSize * count);
    FUZZ_CHECK(size <= shape::kRegionRecordSize);
    FUZZ_CHECK(Word(record, 0) == shape::kRegionHeaderSize && Word(record, 1) == 1);
    FUZZ_CHECK(Word(record, 3) == shape::kRegionRectSize * count);
    // Nothing past the reported size is written.
    FUZZ_CHECK(
        std::equal(record.bytes.begin() + size, record.bytes.end(), before.bytes.begin() + size));

    const std::vector<Rect> rects = RecordRects(record, count);
    CheckBands(in, rects);
    Rect bound{rects[0].left, rects.front().top, rects[0].right, rects.back().bottom};
    for (const Rect& r : rects) {
        bound.left = std::min(bound.left, r.left);
        bound.right = std::max(bound.right, r.right);
    }
    FUZZ_CHECK((Rect{static_cast<std::int32_t>(Word(record, 4)),
                     static_cast<std::int32_t>(Word(record, 5)),
                     static_cast<std::int32_t>(Word(record, 6)),
                     static_cast<std::int32_t>(Word(record, 7))} == bound));
    if (rects.size() <= kRasteriseLimit &&
        static_cast<std::size_t>(in.width) * in.height <= kRasteriseLimit) {
        CheckCoverage(in, rects);
    }
    FUZZ_CHECK(rects == ReferenceRects(in));
}

// Tiling lets a short input fill a large frame; handing over one pixel too few tests the size
// check.
FUZZ_ORACLE void ShapePixels(std::uint8_t flags, Input& in) {
    const bool sidesOk = in.width >= 1 && in.height >= 1;
    const std::size_t wanted =
        sidesOk ? static_cast<std::size_t>(in.width) * static_cast<std::size_t>(in.height) : 0;
    if ((flags & 0x10) && !in.pixels.empty() && wanted > in.pixels.size() && wanted <= kMaxPixels) {
        const std::size_t pattern = in.pixels.size();
        in.pixels.resize(wanted);
        for (std::size_t i = pattern; i < wanted; ++i)
            in.pixels[i] = in.pixels[i - pattern];
    }
    if ((flags & 0x20) && wanted > 0 && in.pixels.size() >= wanted)
        in.pixels.resize(wanted - 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kHeaderBytes)
        return 0;
    const std::span<const std::uint8_t> bytes(data, size);
    const std::uint8_t flags = data[0];
    const int encoding = flags & 3;

    Input in;
    ReadSides(bytes, (flags >> 2) & 3, in);
    in.key = static_cast<std::uint32_t>(ReadLE(bytes, 9, 4));
    if (encoding != 3)
        in.key = kPalette[data[9] & 3] ^ (std::uint32_t{data[10]} << 24);
    in.pixels = DecodePixels(bytes.subspan(kHeaderBytes), encoding);

    ShapePixels(flags, in);

    // The record starts out holding an earlier frame's bytes, as a reused table entry does.
    static auto record = std::make_unique<shape::RegionRecord>();
    static auto before = std::make_unique<shape::RegionRecord>();
    std::fill(record->bytes.begin(), record->bytes.end(), static_cast<std::uint8_t>(flags ^ 0xA5));
    *before = *record;

    const std::uint32_t r = shape::BuildRegionData(in.pixels, in.width, in.height, in.key, *record);
    if (r == 0) {
        FUZZ_CHECK(record->bytes == before->bytes);
        if (Valid(in)) {
            // Only a frame with no differing pixel or one needing more than a record holds.
            const std::size_t expected = ReferenceRects(in).size();
            FUZZ_CHECK(expected == 0 || expected > shape::kRegionMaxRects);
        }
        return 0;
    }
    FUZZ_CHECK(Valid(in));
    CheckRecord(in, r, *record, *before);
    return 0;
}

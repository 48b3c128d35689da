#include "support/png_file.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace tovalin::support {

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kStoredBlock = 65535;

void PutBig32(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i)
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

std::uint32_t Adler32(const Bytes& data) {
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return b << 16 | a;
}

void PutChunk(Bytes& out, std::string_view type, const Bytes& body) {
    PutBig32(out, static_cast<std::uint32_t>(body.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type.begin(), type.end());
    out.insert(out.end(), body.begin(), body.end());
    PutBig32(out, Crc32(out.data() + start, out.size() - start));
}

Bytes Header(std::uint32_t width, std::uint32_t height) {
    Bytes png{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes header;
    PutBig32(header, width);
    PutBig32(header, height);
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter, no interlace
    PutChunk(png, "IHDR", header);
    return png;
}

// A zlib stream of stored blocks.
Bytes Stored(const Bytes& raw) {
    Bytes out{0x78, 0x01};
    std::size_t at = 0;
    do {
        const std::size_t n = std::min(kStoredBlock, raw.size() - at);
        const bool last = at + n == raw.size();
        out.push_back(last ? 1 : 0);
        out.push_back(static_cast<std::uint8_t>(n));
        out.push_back(static_cast<std::uint8_t>(n >> 8));
        out.push_back(static_cast<std::uint8_t>(~n));
        out.push_back(static_cast<std::uint8_t>(~n >> 8));
        out.insert(out.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                   raw.begin() + static_cast<std::ptrdiff_t>(at + n));
        at += n;
    } while (at < raw.size());
    PutBig32(out, Adler32(raw));
    return out;
}

}  // namespace

Bytes EncodePng(const pack::RgbaImage& picture) {
    Bytes raw;
    for (std::int32_t y = 0; y < picture.height; ++y) {
        raw.push_back(0);  // filter: none
        for (std::int32_t x = 0; x < picture.width; ++x) {
            const pack::Rgba p = picture.At(x, y);
            raw.insert(raw.end(), {p.r, p.g, p.b, p.a});
        }
    }
    Bytes png = Header(static_cast<std::uint32_t>(picture.width),
                       static_cast<std::uint32_t>(picture.height));
    PutChunk(png, "IDAT", Stored(raw));
    PutChunk(png, "IEND", {});
    return png;
}

Bytes PngClaiming(std::uint32_t width, std::uint32_t height) {
    Bytes png = Header(width, height);
    PutChunk(png, "IEND", {});
    return png;
}

}  // namespace tovalin::support

// Fixed-width fields of file formats (PE, ICO, BMP, GIF, PNG) read from and written to bytes in
// their stated byte order, the same way on every system whatever its own order is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tovalin::platform {

// A little-endian field of `width` bytes (1 to 4) at `at`; the caller has made sure it is there.
constexpr std::uint32_t ReadLittle(std::span<const std::uint8_t> bytes, std::size_t at,
                                   int width) noexcept {
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = (value << 8) | bytes[at + static_cast<std::size_t>(i)];
    return value;
}

constexpr std::uint16_t ReadLe16(std::span<const std::uint8_t> bytes, std::size_t at) noexcept {
    return static_cast<std::uint16_t>(ReadLittle(bytes, at, 2));
}

constexpr std::uint32_t ReadLe32(std::span<const std::uint8_t> bytes, std::size_t at) noexcept {
    return ReadLittle(bytes, at, 4);
}

// A big-endian 32-bit field (PNG's); the caller has made sure it is there.
constexpr std::uint32_t ReadBe32(std::span<const std::uint8_t> bytes, std::size_t at) noexcept {
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
           std::uint32_t{bytes[at + 2]} << 8 | std::uint32_t{bytes[at + 3]};
}

// Stores a little-endian field of `width` bytes over the bytes at `at`, which must be there.
constexpr void WriteLittle(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value,
                           int width) noexcept {
    for (int i = 0; i < width; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Appends a little-endian field of `width` bytes.
inline void AppendLittle(std::vector<std::uint8_t>& bytes, std::uint32_t value, int width) {
    for (int i = 0; i < width; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace tovalin::platform

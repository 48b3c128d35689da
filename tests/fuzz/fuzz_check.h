// What the fuzz targets share: an invariant check that stops the run where a sanitizer would,
// and little-endian reads from the fuzzer's bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

// Aborting (not throwing) makes libFuzzer record the input as a crash with its stack.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

// For the targets' own checking code: its branches are no coverage of the code under test and
// only slow the run down and crowd the corpus.
#define FUZZ_ORACLE __attribute__((no_sanitize("coverage")))

namespace tovalin::fuzz {

// Little-endian value of up to 8 bytes at offset; bytes past the end read as 0.
inline std::uint64_t ReadLE(std::span<const std::uint8_t> bytes, std::size_t offset, int width) {
    std::uint64_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
        const std::size_t at = offset + static_cast<std::size_t>(i);
        value = (value << 8) | (at < bytes.size() ? bytes[at] : 0u);
    }
    return value;
}

}  // namespace tovalin::fuzz

#include "package/words.h"

#include <cstdint>
#include <optional>

namespace tovalin::package {

namespace {

// The next code point of a UTF-8 text, or nothing for a broken sequence.
std::optional<char32_t> NextUtf8(std::string_view text, std::size_t& at) {
    const auto lead = static_cast<std::uint8_t>(text[at++]);
    if (lead < 0x80)
        return lead;
    int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
    if (extra < 0 || at + static_cast<std::size_t>(extra) > text.size())
        return std::nullopt;
    char32_t c = lead & (0x3F >> extra);
    for (; extra > 0; --extra) {
        const auto next = static_cast<std::uint8_t>(text[at++]);
        if ((next & 0xC0) != 0x80)
            return std::nullopt;
        c = (c << 6) | (next & 0x3F);
    }
    return c;
}

// The next code point of a wide text: a UTF-16 surrogate pair counts as one.
char32_t NextWide(std::wstring_view text, std::size_t& at) {
    const auto unit = static_cast<char32_t>(text[at++]);
    if (unit >= 0xD800 && unit < 0xDC00 && at < text.size()) {
        const auto low = static_cast<char32_t>(text[at]);
        if (low >= 0xDC00 && low < 0xE000) {
            ++at;
            return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
    }
    return unit;
}

}  // namespace

bool SameWord(std::wstring_view text, std::string_view utf8) {
    std::size_t w = 0;
    std::size_t u = 0;
    while (w < text.size() && u < utf8.size()) {
        const std::optional<char32_t> expected = NextUtf8(utf8, u);
        if (!expected || NextWide(text, w) != *expected)
            return false;
    }
    return w == text.size() && u == utf8.size();
}

std::wstring Widen(std::string_view utf8) {
    std::wstring wide;
    for (std::size_t at = 0; at < utf8.size();) {
        const char32_t c = NextUtf8(utf8, at).value_or(U'\uFFFD');
        if constexpr (sizeof(wchar_t) == 2) {
            if (c >= 0x10000) {
                wide += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
                wide += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
                continue;
            }
        }
        wide += static_cast<wchar_t>(c);
    }
    return wide;
}

}  // namespace tovalin::package

#include "platform/wildcard.h"

#include <algorithm>

namespace tovalin::platform {

namespace {

wchar_t Fold(wchar_t c) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

}  // namespace

bool WildcardMatch(std::wstring_view pattern, std::wstring_view name) {
    // Iterative matcher with one backtrack point: linear in practice, no recursion to exhaust.
    std::size_t p = 0, n = 0;
    std::size_t starP = std::wstring_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == L'?' || Fold(pattern[p]) == Fold(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::wstring_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*')
        ++p;
    return p == pattern.size();
}

std::vector<std::wstring> SplitPatterns(std::wstring_view patterns) {
    std::vector<std::wstring> result;
    std::size_t start = 0;
    while (start <= patterns.size()) {
        std::size_t end = patterns.find(L';', start);
        if (end == std::wstring_view::npos)
            end = patterns.size();
        std::wstring_view one = patterns.substr(start, end - start);
        while (!one.empty() && one.front() == L' ')
            one.remove_prefix(1);
        while (!one.empty() && one.back() == L' ')
            one.remove_suffix(1);
        if (!one.empty())
            result.emplace_back(one);
        start = end + 1;
    }
    return result;
}

bool FileListLess(std::wstring_view a, std::wstring_view b) {
    const auto folded = [](wchar_t x, wchar_t y) { return Fold(x) < Fold(y); };
    if (std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), folded))
        return true;
    if (std::lexicographical_compare(b.begin(), b.end(), a.begin(), a.end(), folded))
        return false;
    return a < b;
}

}  // namespace tovalin::platform

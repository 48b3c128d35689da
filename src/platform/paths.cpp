#include "platform/paths.h"

namespace tovalin::platform {

namespace {

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

std::size_t NameStart(std::wstring_view path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (IsSeparator(path[i - 1]) || path[i - 1] == L':')
            return i;
    }
    return 0;
}

template <typename Char>
std::basic_string<Char> Trim(std::basic_string_view<Char> text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && text[begin] == Char(' '))
        ++begin;
    while (end > begin && text[end - 1] == Char(' '))
        --end;
    return std::basic_string<Char>(text.substr(begin, end - begin));
}

}  // namespace

std::wstring JoinFolder(std::wstring_view folder, std::wstring_view name) {
    std::wstring result(folder);
    if (result.empty() || !IsSeparator(result.back()))
        result += L'\\';
    result += name;
    return result;
}

std::wstring BaseName(std::wstring_view path) {
    std::wstring_view name = path.substr(NameStart(path));
    std::size_t dot = name.rfind(L'.');
    if (dot != std::wstring_view::npos && dot > 0)
        name = name.substr(0, dot);
    return std::wstring(name);
}

std::wstring FolderOf(std::wstring_view path) {
    std::size_t start = NameStart(path);
    if (start == 0)
        return {};
    std::wstring_view folder = path.substr(0, start);
    // Keep the separator of a root ("C:\"), drop it elsewhere.
    if (folder.size() > 1 && IsSeparator(folder.back()) && folder[folder.size() - 2] != L':') {
        folder.remove_suffix(1);
    }
    return std::wstring(folder);
}

std::wstring ComposeExePath(std::wstring_view modulePath) {
    return JoinFolder(FolderOf(modulePath), BaseName(modulePath) + L".exe");
}

std::wstring TrimBlanks(std::wstring_view text) {
    return Trim(text);
}
std::string TrimBlanks(std::string_view text) {
    return Trim(text);
}

}  // namespace tovalin::platform

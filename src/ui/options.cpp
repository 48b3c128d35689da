#include "ui/options.h"

#include <algorithm>
#include <cwctype>

namespace tovalin::ui {

const OptionEntry& EntryOf(Option option) {
    for (const OptionEntry& entry : kOptions) {
        if (entry.option == option)
            return entry;
    }
    return kOptions.front();
}

bool OptionFromText(std::wstring_view text, bool byDefault) {
    if (text == L"1")
        return true;
    if (text == L"0")
        return false;
    return byDefault;
}

const wchar_t* OptionText(bool on) {
    return on ? L"1" : L"0";
}

std::wstring RunCommandFor(std::wstring_view exePath) {
    return L"\"" + std::wstring(exePath) + L"\"";
}

namespace {

std::wstring_view Unquoted(std::wstring_view text) {
    while (!text.empty() && text.front() == L' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == L' ')
        text.remove_suffix(1);
    if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"')
        text = text.substr(1, text.size() - 2);
    return text;
}

bool SameName(wchar_t a, wchar_t b) {
    return std::towupper(static_cast<std::wint_t>(a)) == std::towupper(static_cast<std::wint_t>(b));
}

}  // namespace

bool RunCommandStarts(std::wstring_view command, std::wstring_view exePath) {
    const std::wstring_view named = Unquoted(command);
    return !exePath.empty() && std::ranges::equal(named, exePath, SameName);
}

}  // namespace tovalin::ui

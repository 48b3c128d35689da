// The choices of the オプション submenu: each is on or off, kept in the program's own settings
// file under "Option" as "1" or "0".
#pragma once

#include <array>
#include <string_view>

namespace tovalin::ui {

enum class Option { kAllMonitors };

struct OptionEntry {
    Option option;
    const wchar_t* key;      // key in section "Option"
    const wchar_t* caption;  // the menu item
    bool byDefault;
};

// In menu order.
inline constexpr std::array<OptionEntry, 1> kOptions{{
    {Option::kAllMonitors, L"AllMonitors", L"すべてのモニターを使う", true},
}};

const OptionEntry& EntryOf(Option option);

// "1" is on and "0" off; anything else (a missing key, a hand-edited word) is the default.
bool OptionFromText(std::wstring_view text, bool byDefault);
const wchar_t* OptionText(bool on);

}  // namespace tovalin::ui

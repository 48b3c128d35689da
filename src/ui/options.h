// The choices of the オプション submenu: each is on or off. Most are kept in the program's own
// settings file under "Option" as "1" or "0"; whether the program starts with Windows is kept
// where the system looks for it.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tovalin::ui {

enum class Option { kAllMonitors, kClickThrough, kStartWithLast, kStartWithWindows };

// Where an option's state lives between runs.
enum class Kept {
    kSettingsFile,  // key `key` of section "Option"
    kRunKey,        // a value of the user's Run key: the registry is the truth, read each time
};

struct OptionEntry {
    Option option;
    const wchar_t* key;      // key in section "Option"; empty for an option kept elsewhere
    const wchar_t* caption;  // the menu item
    bool byDefault;
    Kept kept = Kept::kSettingsFile;
};

// In menu order.
inline constexpr std::array<OptionEntry, 4> kOptions{{
    {Option::kAllMonitors, L"AllMonitors", L"すべてのモニターを使う", true},
    {Option::kClickThrough, L"ClickThrough", L"クリックを透過する", false},
    {Option::kStartWithLast, L"StartWithLast", L"前回の設定で始める", false},
    {Option::kStartWithWindows, L"", L"Windows の起動時に始める", false, Kept::kRunKey},
}};

const OptionEntry& EntryOf(Option option);

// "1" is on and "0" off; anything else (a missing key, a hand-edited word) is the default.
bool OptionFromText(std::wstring_view text, bool byDefault);
const wchar_t* OptionText(bool on);

// The Run value that starts this copy: its full path in quotes, so that a path with spaces is
// one command.
std::wstring RunCommandFor(std::wstring_view exePath);

// Whether a Run value starts the copy at exePath (quoted or not, in any letter case, as the
// file system compares names); a value naming another copy does not.
bool RunCommandStarts(std::wstring_view command, std::wstring_view exePath);

}  // namespace tovalin::ui

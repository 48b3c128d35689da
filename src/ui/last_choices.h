// The settings a run ends with, kept in section "Last" of the program's settings file while
// "前回の設定で始める" is on, in the words the package header uses.
#pragma once

#include <array>
#include <string>

namespace tovalin::ui {

inline constexpr const wchar_t* kLastSection = L"Last";

// One word for each of the scene's four settings, in this order.
enum class Choice { kCount, kMove, kLocation, kSpeed };
inline constexpr std::array<const wchar_t*, 4> kLastKeys{L"Count", L"Move", L"Location", L"Speed"};

inline const wchar_t* LastKeyOf(Choice choice) {
    return kLastKeys[static_cast<std::size_t>(choice)];
}

struct SettingsWords {
    std::wstring count, move, location, speed;
};

// The words to start with: each recorded word that is one of its setting's words replaces the
// header's; anything else (a missing key, a menu caption, a hand-edited word) leaves the
// header's word standing.
SettingsWords WordsToStartWith(const SettingsWords& header, const SettingsWords& recorded);

}  // namespace tovalin::ui

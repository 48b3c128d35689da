// The four settings vocabularies of the package header: the values of "CHA", "MOV", "LOC" and
// "ANI", with what each selects. The player's scene, menu, commands and motion and the packer all
// read them from here. A table's order is its menu's: element i is item i of the menu array.
// Words are UTF-8; the player holds its settings as UTF-16 and compares with SameWord.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tovalin::package {

struct CountWord {
    std::string_view word;
    int count;  // characters shown
};
inline constexpr std::array<CountWord, 3> kCountWords{{{"1", 1}, {"3", 3}, {"5", 5}}};

// What the motion tick does with each window; kNone for a word that is none of the five.
enum class Movement { kStill, kStraight, kFloating, kBouncing, kOnWindows, kNone };

struct MoveWord {
    std::string_view word;
    Movement movement;
    std::string_view alias;  // the packer's English spelling
};
inline constexpr std::array<MoveWord, 5> kMoveWords{{{"静止", Movement::kStill, "still"},
                                                     {"直線", Movement::kStraight, "straight"},
                                                     {"浮遊", Movement::kFloating, "float"},
                                                     {"跳ねる", Movement::kBouncing, "bounce"},
                                                     {"窓の上", Movement::kOnWindows, "windows"}}};

// Where new characters appear: their top-left corners at the screen's centre, or at random
// places in the middle half of the screen.
enum class Placement { kCentre, kRandom };

struct LocationWord {
    std::string_view word;
    Placement placement;
    std::string_view caption;  // the menu item reads "中央" for the centre, whose word is "中心"
    std::array<std::string_view, 2> aliases;
};
inline constexpr std::array<LocationWord, 2> kLocationWords{
    {{"中心", Placement::kCentre, "中央", {"centre", "center"}},
     {"乱数", Placement::kRandom, "乱数", {"random", ""}}}};

struct SpeedWord {
    std::string_view word;
    unsigned interval;  // animation interval, ms
    std::string_view alias;
};
inline constexpr std::array<SpeedWord, 3> kSpeedWords{
    {{"遅い", 500, "slow"}, {"普通", 250, "normal"}, {"速い", 80, "fast"}}};

// True when the UTF-16 (or, natively, UTF-32) text spells exactly the UTF-8 word.
bool SameWord(std::wstring_view text, std::string_view utf8);
inline bool SameWord(std::string_view text, std::string_view utf8) {
    return text == utf8;
}

// The element of the table whose word the text spells exactly, the player's wide text or the
// packer's UTF-8; `fallback` when none does. The one lookup over these tables: what a word
// selects is its element's other fields.
template <typename Table, typename Text>
int IndexOfWord(const Table& table, const Text& text, int fallback = -1) {
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (SameWord(text, table[i].word))
            return static_cast<int>(i);
    }
    return fallback;
}

// The word in the player's wide characters (UTF-16 on Windows, UTF-32 natively).
std::wstring Widen(std::string_view utf8);

}  // namespace tovalin::package

#include "shape/scene.h"

namespace tovalin::shape {

namespace {

// What an unknown word stands for: one character, standing still, at the centre, "普通".
constexpr int kFirstItem = 0;
constexpr int kNormalSpeedItem = 1;

// The element `item` names, or nullptr when the table has none.
template <typename Table>
const typename Table::value_type* Element(const Table& table, int item) {
    if (item < 0 || static_cast<std::size_t>(item) >= table.size())
        return nullptr;
    return &table[static_cast<std::size_t>(item)];
}

template <typename Text>
Speed SpeedOf(const Text& anim) {
    const int item = package::IndexOfWord(package::kSpeedWords, anim, kNormalSpeedItem);
    return {Element(package::kSpeedWords, item)->interval, item};
}

}  // namespace

Speed SpeedFromWord(std::wstring_view anim) {
    return SpeedOf(anim);
}

Speed SpeedFromWord(std::string_view anim) {
    return SpeedOf(anim);
}

namespace {

// Element `item` of the table becomes the setting: its word, its value and the checked item.
template <typename Table, typename Value, typename Entry>
bool Select(SceneSettings& settings, const Table& table, int item,
            std::wstring SceneSettings::*word, Value SceneSettings::*value,
            Value Entry::*entryValue, int SceneSettings::*checked) {
    const Entry* entry = Element(table, item);
    if (!entry)
        return false;
    settings.*word = package::Widen(entry->word);
    settings.*value = entry->*entryValue;
    settings.*checked = item;
    return true;
}

}  // namespace

bool SelectCount(SceneSettings& settings, int item) {
    return Select(settings, package::kCountWords, item, &SceneSettings::countWord,
                  &SceneSettings::count, &package::CountWord::count, &SceneSettings::countItem);
}

bool SelectMove(SceneSettings& settings, int item) {
    return Select(settings, package::kMoveWords, item, &SceneSettings::move,
                  &SceneSettings::movement, &package::MoveWord::movement, &SceneSettings::moveItem);
}

bool SelectLocation(SceneSettings& settings, int item) {
    return Select(settings, package::kLocationWords, item, &SceneSettings::location,
                  &SceneSettings::placement, &package::LocationWord::placement,
                  &SceneSettings::locationItem);
}

bool SelectSpeed(SceneSettings& settings, int item) {
    return Select(settings, package::kSpeedWords, item, &SceneSettings::speedWord,
                  &SceneSettings::interval, &package::SpeedWord::interval,
                  &SceneSettings::speedItem);
}

void SetCountWord(SceneSettings& settings, std::wstring word) {
    SelectCount(settings, package::IndexOfWord(package::kCountWords, word, kFirstItem));
    settings.countWord = std::move(word);
}

void SetMoveWord(SceneSettings& settings, std::wstring_view word) {
    SelectMove(settings, package::IndexOfWord(package::kMoveWords, word, kFirstItem));
}

void SetLocationWord(SceneSettings& settings, std::wstring_view word) {
    SelectLocation(settings, package::IndexOfWord(package::kLocationWords, word, kFirstItem));
}

void SetSpeedWord(SceneSettings& settings, std::wstring word) {
    SelectSpeed(settings, SpeedFromWord(word).item);
    settings.speedWord = std::move(word);
}

SceneSettings ResolveSceneSettings(std::wstring_view count, std::wstring_view move,
                                   std::wstring_view location, std::wstring_view anim) {
    SceneSettings settings;
    SetCountWord(settings, std::wstring(count));
    SetMoveWord(settings, move);
    SetLocationWord(settings, location);
    SetSpeedWord(settings, std::wstring(anim));
    return settings;
}

}  // namespace tovalin::shape

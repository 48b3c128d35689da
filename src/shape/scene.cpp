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

bool SelectCount(SceneSettings& settings, int item) {
    const package::CountWord* entry = Element(package::kCountWords, item);
    if (!entry)
        return false;
    settings.countWord = package::Widen(entry->word);
    settings.count = entry->count;
    settings.countItem = item;
    return true;
}

bool SelectMove(SceneSettings& settings, int item) {
    const package::MoveWord* entry = Element(package::kMoveWords, item);
    if (!entry)
        return false;
    settings.move = package::Widen(entry->word);
    settings.movement = entry->movement;
    settings.moveItem = item;
    return true;
}

bool SelectLocation(SceneSettings& settings, int item) {
    const package::LocationWord* entry = Element(package::kLocationWords, item);
    if (!entry)
        return false;
    settings.location = package::Widen(entry->word);
    settings.placement = entry->placement;
    settings.locationItem = item;
    return true;
}

bool SelectSpeed(SceneSettings& settings, int item) {
    const package::SpeedWord* entry = Element(package::kSpeedWords, item);
    if (!entry)
        return false;
    settings.speedWord = package::Widen(entry->word);
    settings.interval = entry->interval;
    settings.speedItem = item;
    return true;
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

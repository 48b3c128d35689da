#include "shape/scene.h"

#include "package/words.h"

namespace tovalin::shape {

namespace {

// What an unknown word stands for: one character, standing still, at the centre, "普通".
constexpr int kFirstItem = 0;
constexpr int kNormalSpeedItem = 1;

template <typename Table>
int ItemOrDefault(const Table& table, std::wstring_view word, int fallback) {
    const int i = package::IndexOfWord(table, word);
    return i < 0 ? fallback : i;
}

template <typename Table>
const auto& Entry(const Table& table, int item) {
    return table[static_cast<std::size_t>(item)];
}

}  // namespace

Speed SpeedFromWord(std::wstring_view anim) {
    const int item = ItemOrDefault(package::kSpeedWords, anim, kNormalSpeedItem);
    return {Entry(package::kSpeedWords, item).interval, item};
}

SceneSettings ResolveSceneSettings(std::wstring_view count, std::wstring_view move,
                                   std::wstring_view location, std::wstring_view anim) {
    SceneSettings s;
    s.countItem = ItemOrDefault(package::kCountWords, count, kFirstItem);
    s.count = Entry(package::kCountWords, s.countItem).count;
    s.moveItem = ItemOrDefault(package::kMoveWords, move, kFirstItem);
    s.move = package::Widen(Entry(package::kMoveWords, s.moveItem).word);
    s.locationItem = ItemOrDefault(package::kLocationWords, location, kFirstItem);
    s.location = package::Widen(Entry(package::kLocationWords, s.locationItem).word);
    const Speed speed = SpeedFromWord(anim);
    s.interval = speed.interval;
    s.speedItem = speed.item;
    return s;
}

}  // namespace tovalin::shape

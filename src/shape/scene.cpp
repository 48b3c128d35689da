#include "shape/scene.h"

#include <array>

namespace tovalin::shape {

namespace {

template <std::size_t N>
int IndexOf(const std::array<std::wstring_view, N>& words, std::wstring_view word) {
    for (std::size_t i = 0; i < N; ++i) {
        if (words[i] == word)
            return static_cast<int>(i);
    }
    return -1;
}

constexpr std::array<std::wstring_view, 3> kCounts{L"1", L"3", L"5"};
constexpr std::array<int, 3> kCountValues{1, 3, 5};
constexpr std::array<std::wstring_view, 4> kMoves{L"静止", L"直線", L"浮遊", L"跳ねる"};
constexpr std::array<std::wstring_view, 2> kLocations{L"中心", L"乱数"};
constexpr std::array<std::wstring_view, 3> kSpeeds{L"遅い", L"普通", L"速い"};
constexpr std::array<unsigned, 3> kIntervals{500, 250, 80};

}  // namespace

Speed SpeedFromWord(std::wstring_view anim) {
    const int i = IndexOf(kSpeeds, anim);
    if (i < 0)
        return {250, 1};
    return {kIntervals[static_cast<std::size_t>(i)], i};
}

SceneSettings ResolveSceneSettings(std::wstring_view count, std::wstring_view move,
                                   std::wstring_view location, std::wstring_view anim) {
    SceneSettings s;
    const int c = IndexOf(kCounts, count);
    s.countItem = c < 0 ? 0 : c;
    s.count = kCountValues[static_cast<std::size_t>(s.countItem)];

    const int m = IndexOf(kMoves, move);
    s.moveItem = m < 0 ? 0 : m;
    s.move = std::wstring(kMoves[static_cast<std::size_t>(s.moveItem)]);

    const int l = IndexOf(kLocations, location);
    s.locationItem = l < 0 ? 0 : l;
    s.location = std::wstring(kLocations[static_cast<std::size_t>(s.locationItem)]);

    const Speed speed = SpeedFromWord(anim);
    s.interval = speed.interval;
    s.speedItem = speed.item;
    return s;
}

}  // namespace tovalin::shape

// How the scene reads its four settings words, with the fallbacks for words it does not know.
#pragma once

#include <string>
#include <string_view>

namespace tovalin::shape {

struct Speed {
    unsigned interval;  // animation interval, ms
    int item;           // checked element of the speed menu
};

// "遅い" 500 ms, "普通" 250 ms, "速い" 80 ms; any other word 250 ms with "普通" checked.
Speed SpeedFromWord(std::wstring_view anim);

struct SceneSettings {
    int count = 1;      // windows to create
    int countItem = 0;  // checked element of the count menu
    std::wstring move;  // the movement word in force (an unknown word becomes "静止")
    int moveItem = 0;
    std::wstring location;  // the location word in force (an unknown word becomes "中心")
    int locationItem = 0;
    unsigned interval = 250;
    int speedItem = 1;
};

// The count and speed words keep their value when unknown; movement and location are reset.
SceneSettings ResolveSceneSettings(std::wstring_view count, std::wstring_view move,
                                   std::wstring_view location, std::wstring_view anim);

}  // namespace tovalin::shape

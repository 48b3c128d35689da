// The scene's four settings: the words in force and what each selects. A word is worked out here
// once, when it changes; the scene, the menu and the studio's preview read the result.
#pragma once

#include "package/words.h"

#include <string>
#include <string_view>

namespace tovalin::shape {

struct Speed {
    unsigned interval;  // animation interval, ms
    int item;           // checked element of the speed menu
};

// "遅い" 500 ms, "普通" 250 ms, "速い" 80 ms; any other word 250 ms with "普通" checked. The
// player's rule, which the studio's preview follows for the word it will package.
Speed SpeedFromWord(std::wstring_view anim);
Speed SpeedFromWord(std::string_view anim);

// The count and speed words are kept as given, an unknown one selecting the first count or
// "普通"; an unknown movement or location word is replaced by "静止" or "中心". Before any word
// is set, every word is empty and selects its default.
struct SceneSettings {
    std::wstring countWord;
    int count = 1;      // windows to create
    int countItem = 0;  // checked element of the count menu
    std::wstring move;  // the movement word in force
    int moveItem = 0;
    package::Movement movement = package::Movement::kStill;
    std::wstring location;  // the location word in force
    int locationItem = 0;
    package::Placement placement = package::Placement::kCentre;
    std::wstring speedWord;
    unsigned interval = 250;
    int speedItem = 1;
};

// One word each, as the INI files and the package header store them.
void SetCountWord(SceneSettings& settings, std::wstring word);
void SetMoveWord(SceneSettings& settings, std::wstring_view word);
void SetLocationWord(SceneSettings& settings, std::wstring_view word);
void SetSpeedWord(SceneSettings& settings, std::wstring word);

// Element `item` of a menu array, with its word; false, and nothing changed, when the table has
// no such element.
bool SelectCount(SceneSettings& settings, int item);
bool SelectMove(SceneSettings& settings, int item);
bool SelectLocation(SceneSettings& settings, int item);
bool SelectSpeed(SceneSettings& settings, int item);

SceneSettings ResolveSceneSettings(std::wstring_view count, std::wstring_view move,
                                   std::wstring_view location, std::wstring_view anim);

}  // namespace tovalin::shape

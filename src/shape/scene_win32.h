// The scene: the character windows on the desktop with their timers, and the four settings
// words it is built from.
#pragma once

#include "motion/motion.h"
#include "shape/scene.h"
#include "shape/view_win32.h"

#include <memory>
#include <string>
#include <vector>

namespace tovalin::shape {

// The settings in force, as the header's words: "1"/"3"/"5", "静止"/"直線"/"浮遊"/"跳ねる",
// "中心"/"乱数", "遅い"/"普通"/"速い". Set from the package header at start-up and by the menu
// commands; SetupScene replaces an unknown movement or location word by its default.
extern std::wstring gCount;
extern std::wstring gMove;
extern std::wstring gLocation;
extern std::wstring gAnim;

// Sets gMove and the mode the motion tick applies from the next tick on.
void SetMove(std::wstring word);

// The current scene's character windows, in creation order.
extern std::vector<std::unique_ptr<frmView>> gViews;

// Told the settings a scene set-up has applied, at the moment the menu's check marks are to
// follow them (before the new windows are made).
using SettingsListener = void (*)(const SceneSettings&);
void SetSettingsListener(SettingsListener listener);

// Builds the scene afresh from the current settings and frames.
void SetupScene();

// The primary display now has this many dots per inch: the frames are drawn again at the new
// scale and the scene is rebuilt with the settings in force. Nothing happens when the
// resolution is the one in use.
void ChangeDisplayDpi(int dpi);

// Why nobody sees the characters now. While any reason holds, the timers that run them are
// paused; a full-screen program in front also hides them. When the last reason goes they go on
// where they were, with their motion records and frames as they were.
enum class Away : unsigned { kFullScreen = 1, kLocked = 2, kDisplayOff = 4 };
void SetAway(Away reason, bool away);

// Puts the window above all others and shows it; true when the system agreed.
bool MakeTopmost(HWND hwnd);

}  // namespace tovalin::shape

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
// "中心"/"乱数", "遅い"/"普通"/"速い". They change only through the calls below, which work out
// what the new word selects (shape/scene.h) at that moment.
extern const std::wstring& gCount;
extern const std::wstring& gMove;
extern const std::wstring& gLocation;
extern const std::wstring& gAnim;

// The four words at once (the package header's at start-up); the next SetupScene builds with
// them. The mode the motion tick applies follows the movement word from the next tick on.
void UseSettingWords(std::wstring count, std::wstring move, std::wstring location,
                     std::wstring anim);

// The menu's choices, by element of each menu array; false, and nothing changed, for an element
// the array does not have. Each tells the settings listener. A count rebuilds the scene; a
// movement takes effect from the next motion tick; a location places the characters of the next
// set-up; a speed sets every character's animation interval now.
bool SetCount(int item);
bool SetMove(int item);
bool SetLocation(int item);
bool SetSpeed(int item);

// The current scene's character windows, in creation order.
extern std::vector<std::unique_ptr<frmView>> gViews;

// Told the settings in force whenever the menu's check marks are to follow them: by a set-up
// before it makes the new windows, and by each menu choice once it has taken effect.
using SettingsListener = void (*)(const SceneSettings&);
void SetSettingsListener(SettingsListener listener);

// Builds the scene afresh from the current settings and frames.
void SetupScene();

// Stops every timer of the scene while its frames are being replaced; RestartScene lets the
// animation and the motion go on as they were, with the frames in use.
void StopScene();
void RestartScene();

// The primary display now has this many dots per inch: the frames are drawn again at the new
// scale and the scene is rebuilt with the settings in force. Nothing happens when the
// resolution is the one in use.
void ChangeDisplayDpi(int dpi);

// Why nobody sees the characters now. While any reason holds, the timers that run them are
// paused; a full-screen program in front also hides them. When the last reason goes they go on
// where they were, with their motion records and frames as they were.
enum class Away : unsigned { kFullScreen = 1, kLocked = 2, kDisplayOff = 4 };
void SetAway(Away reason, bool away);

// Whether the characters live on every monitor (the default) or on the primary alone. Characters
// the monitors in use no longer show come back into the nearest work area.
void UseAllMonitors(bool all);

// After a change of monitors, resolution or work area: every character no monitor in use shows
// comes back into the work area of the nearest one, with its mode, frame and speeds as they were.
void BringBackViews();

// Puts the window above all others and shows it; true when the system agreed.
bool MakeTopmost(HWND hwnd);

}  // namespace tovalin::shape

// When nobody watches the characters: the decisions behind hiding them in front of a
// full-screen program and pausing them while the session is locked or the display is off.
#pragma once

#include <cstdint>

namespace tovalin::ui {

struct ScreenRect {
    std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// What the system says about the window in the foreground.
struct ForegroundWindow {
    bool exists = false;
    bool ours = false;       // a window of this program
    bool shell = false;      // the desktop or one of the shell's own windows
    bool captioned = false;  // it has a title bar (a maximised window, say)
    ScreenRect rect;         // where it stands, in screen pixels
};

// A program is full-screen when its foreground window, not ours and not the shell's, covers
// the whole primary monitor without a caption.
bool CoversScreenWithoutCaption(const ForegroundWindow& window, const ScreenRect& monitor);

// The shell's own verdict (SHQueryUserNotificationState): busy, a full-screen Direct3D program,
// or presentation mode.
bool ShellReportsFullScreen(int userNotificationState);

// The console display state a power-setting notification carries: 0 off, 1 on, 2 dimmed. A
// dimmed display is still watched.
bool DisplayIsOff(std::uint32_t displayState);

}  // namespace tovalin::ui

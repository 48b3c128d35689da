// The motion tick and its modes: still, straight line, floating, bouncing and on the windows
// (motion/ledges.h).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "motion/chara.h"
#include "motion/footing.h"
#include "package/words.h"
#include "platform/desktop.h"

namespace tovalin::motion {

// A character window as the motion code sees it: its record, its place and size in twips.
class MotionWindow {
  public:
    virtual ~MotionWindow() = default;
    virtual CharaInfo& Info() = 0;
    virtual double LeftTwips() const = 0;
    virtual double TopTwips() const = 0;
    virtual double WidthTwips() const = 0;
    virtual double HeightTwips() const = 0;
    // Sets Left and then Top. The window takes both in one move: the system is asked once,
    // and no half-moved window is ever shown.
    virtual void MoveTwips(double left, double top) = 0;

    // Where "窓の上" has the character; it lives and dies with the window.
    Footing& LedgeFooting() { return footing_; }

  private:
    Footing footing_;
};

class LedgeWorld;

// The primary screen; every routine reads it afresh, so a change of resolution, taskbar or
// caption height applies from the next step on.
struct Screen {
    virtual ~Screen() = default;
    virtual float WidthTwips() const = 0;
    virtual float HeightTwips() const = 0;
    // The bouncing mode's floor line: (full-screen client height + caption height) in pixels,
    // times the vertical twips per pixel.
    virtual std::int32_t FloorLineTwips() const = 0;
};

using MoveMode = package::Movement;

// The mode a settings word selects: "静止", "直線", "浮遊", "跳ねる" or "窓の上", compared exactly;
// any other text selects none.
MoveMode ModeFromWord(std::wstring_view gMove);

// Fills a new window's record: the bouncing start speeds, the position from the window's
// current Left and Top, and the first floating phases. Other fields are left as they are.
void InitMotion(MotionWindow& view);

// One step of a mode for one window. Each re-seeds Rng() from the timer source first.
void MoveStraight(MotionWindow& view, const Screen& screen);
void MoveFloating(MotionWindow& view, const Screen& screen);
void MoveBouncing(MotionWindow& view, const Screen& screen);

// The same steps over a desktop of several monitors (in twips): the characters cross the seams
// where monitors touch and never enter an area no monitor shows. "直線" wraps at the desktop's
// outer edges, "浮遊" keeps to its monitor unless a neighbour touches it where it drifts, and
// "跳ねる" lands on the work area of the monitor under it, between the desktop's outer walls.
void MoveStraight(MotionWindow& view, const platform::Desktop& desktop);
void MoveFloating(MotionWindow& view, const platform::Desktop& desktop);
void MoveBouncing(MotionWindow& view, const platform::Desktop& desktop);

// Where a character that no monitor shows any more comes back: inside the work area of the
// monitor nearest to it. Its record follows, so that a moving mode goes on from there. False
// when the desktop still shows it.
bool BringBack(MotionWindow& view, const platform::Desktop& desktop);

// The work of one motion tick (the caller switches the motion timer off around it): every
// window, in order, that is not being dragged takes one step of the mode. The mode is worked out
// from gMove where gMove changes, not on every tick.
// With a desktop of several monitors given, every step is taken over it; otherwise on the
// primary screen alone. "窓の上" needs a desktop (the primary alone, when that is all the
// characters live on) and the user's windows; without them it moves nothing.
void MotionTick(std::span<MotionWindow* const> views, MoveMode mode, const Screen& screen,
                const platform::Desktop* desktop = nullptr, LedgeWorld* world = nullptr);

}  // namespace tovalin::motion

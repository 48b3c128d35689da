#include "motion/motion.h"

#include <cmath>
#include <limits>

#include "motion/ledges.h"
#include "motion/random.h"
#include "motion/steps.h"

namespace tovalin::motion {
namespace step {

constexpr double kStraightStep = 16.0;

// One draw of the shared generator, widened so that every product below is taken in double.
double Draw() {
    return static_cast<double>(Rng().Next());
}

// floor(r × n + offset) for a fresh draw r.
double FloorDraw(double n, double offset) {
    return std::floor(Draw() * n + offset);
}

std::int32_t FloorDrawInt(double n, double offset) {
    return static_cast<std::int32_t>(FloorDraw(n, offset));
}

// The record keeps 32-bit floats; every update is computed in double and stored through here.
float Store(double value) {
    return static_cast<float>(value);
}

// A window size as the routines use it: the nearest whole twip, halves away from zero, clamped
// to the 32-bit range so that a wild size cannot overflow the conversion.
std::int32_t WholeTwips(double twips) {
    if (std::isnan(twips)) {
        return 0;
    }
    constexpr double kLowest = std::numeric_limits<std::int32_t>::lowest();
    constexpr double kHighest = std::numeric_limits<std::int32_t>::max();
    if (twips <= kLowest) {
        return std::numeric_limits<std::int32_t>::lowest();
    }
    if (twips >= kHighest) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(std::lround(twips));
}

Size ReadSize(const MotionWindow& view) {
    return {static_cast<double>(WholeTwips(view.WidthTwips())),
            static_cast<double>(WholeTwips(view.HeightTwips()))};
}

// Left first, then Top: the window's own move order.
void PlaceAtRecord(MotionWindow& view, const CharaInfo& c) {
    view.MoveTwips(static_cast<double>(c.xPos), static_cast<double>(c.yPos));
}

// Draws the three values that start a new floating run on one axis: step, end, then phase.
void RenewPhase(float& step, float& phase, float& end, double stepDivisor) {
    step = Store(FloorDraw(100.0, 30.0) / stepDivisor);
    end = Store(FloorDraw(36.0, 18.0));
    phase = Store(static_cast<double>(end) - FloorDraw(18.0, 0.0));
}

void AdvancePhase(float& step, float& phase, float& end, double stepDivisor) {
    phase = Store(static_cast<double>(phase) + static_cast<double>(step));
    if (phase > end) {
        RenewPhase(step, phase, end, stepDivisor);
    }
}

void WrapStraight(CharaInfo& c, Size size, const Screen& screen) {
    const double W = screen.WidthTwips();
    const double H = screen.HeightTwips();
    if (static_cast<double>(c.xPos) + size.w > W) {
        c.xPos = 0.0f;
    }
    if (c.xPos < 0.0f) {
        c.xPos = Store(W - size.w);
    }
    if (static_cast<double>(c.yPos) + size.h > H) {
        c.yPos = 0.0f;
    }
    if (c.yPos < 0.0f) {
        c.yPos = Store(H - size.h);
    }
}

// The floating mode tests the vertical axis first and, on each axis, the opposite pair of
// edges in the opposite order to the straight mode.
void WrapFloating(CharaInfo& c, Size size, const Screen& screen) {
    const double W = screen.WidthTwips();
    const double H = screen.HeightTwips();
    if (c.yPos < 0.0f) {
        c.yPos = Store(H - size.h);
    }
    if (static_cast<double>(c.yPos) + size.h > H) {
        c.yPos = 0.0f;
    }
    if (static_cast<double>(c.xPos) + size.w > W) {
        c.xPos = 0.0f;
    }
    if (c.xPos < 0.0f) {
        c.xPos = Store(W - size.w);
    }
}

void MaybeStartPause(CharaInfo& c) {
    if (FloorDrawInt(250.0, 0.0) == 3) {
        c.nwait = FloorDrawInt(10.0, 0.0) * 50;
    }
}

void Launch(CharaInfo& c, double floorLine, double h) {
    c.xVelocInit = Store(FloorDraw(70.0, -35.0));
    c.ixVelocInit = c.xVelocInit;
    c.yVeloc = Store(-FloorDraw(100.0, 50.0));
    c.yPos = Store(floorLine - h);
}

void ReverseSideways(CharaInfo& c) {
    c.xVelocInit = -c.xVelocInit;
    c.ixVelocInit = -c.ixVelocInit;
}

}  // namespace step

using namespace step;

namespace {

// The world is the primary screen or a desktop of several monitors: each mode has a step for
// either.
template <typename World>
void MoveByMode(MoveMode mode, MotionWindow& view, const World& world) {
    switch (mode) {
        case MoveMode::kStraight:
            MoveStraight(view, world);
            break;
        case MoveMode::kFloating:
            MoveFloating(view, world);
            break;
        case MoveMode::kBouncing:
            MoveBouncing(view, world);
            break;
        case MoveMode::kStill:
        case MoveMode::kOnWindows:
        case MoveMode::kNone:
            break;
    }
}

}  // namespace

MoveMode ModeFromWord(std::wstring_view gMove) {
    const int item = package::IndexOfWord(package::kMoveWords, gMove);
    return item < 0 ? MoveMode::kNone
                    : package::kMoveWords[static_cast<std::size_t>(item)].movement;
}

void InitMotion(MotionWindow& view) {
    ReseedFromTimer();
    CharaInfo& c = view.Info();
    c.xVelocInit = 18.0f;
    c.ixVelocInit = 1.0f;
    c.xPos = Store(view.LeftTwips());
    c.yPos = Store(view.TopTwips());
    // The first steps are drawn coarser than later renewals, and may be 0.
    c.xi = Store(FloorDraw(100.0, 0.0) / 1000.0);
    c.xie = Store(FloorDraw(36.0, 18.0));
    c.xis = Store(static_cast<double>(c.xie) - FloorDraw(18.0, 0.0));
    c.yi = Store(FloorDraw(100.0, 0.0) / 1000.0);
    c.yie = Store(FloorDraw(36.0, 18.0));
    c.yis = Store(static_cast<double>(c.yie) - FloorDraw(18.0, 0.0));
}

namespace step {

void StepStraight(CharaInfo& c) {
    if (c.rndx < 0) {
        c.rndx = FloorDrawInt(50.0, 50.0);
        c.rndm = FloorDrawInt(4.0, 0.0);
    } else {
        c.rndx = c.rndx - 1;
    }
    switch (c.rndm) {
        case 0:
            c.xPos = Store(static_cast<double>(c.xPos) + kStraightStep);
            break;
        case 1:
            c.yPos = Store(static_cast<double>(c.yPos) + kStraightStep);
            break;
        case 2:
            c.xPos = Store(static_cast<double>(c.xPos) - kStraightStep);
            break;
        case 3:
            c.yPos = Store(static_cast<double>(c.yPos) - kStraightStep);
            break;
        default:
            break;
    }
}

// False while the character pauses: this tick moves nothing.
bool StepFloating(CharaInfo& c) {
    if (c.nwait != 0) {
        // Written so that no stored value can make the count overflow.
        c.nwait = c.nwait > 1 ? c.nwait - 1 : 0;
        return false;
    }
    AdvancePhase(c.xi, c.xis, c.xie, 10000.0);
    AdvancePhase(c.yi, c.yis, c.yie, 1000.0);
    const double xStep = FloorDraw(30.0, 20.0);
    c.xPos = Store(static_cast<double>(c.xPos) + xStep * std::cos(static_cast<double>(c.xis)));
    const double yStep = FloorDraw(30.0, 20.0);
    c.yPos = Store(static_cast<double>(c.yPos) + yStep * std::sin(static_cast<double>(c.yis)));
    return true;
}

void StepBouncing(CharaInfo& c) {
    c.yVeloc = Store(static_cast<double>(c.yVeloc) + 1.0);
    c.xPos = Store(static_cast<double>(c.xPos) + static_cast<double>(c.xVelocInit));
    c.yPos = Store(static_cast<double>(c.yPos) + static_cast<double>(c.yVeloc));
}

}  // namespace step

void MoveStraight(MotionWindow& view, const Screen& screen) {
    ReseedFromTimer();
    CharaInfo& c = view.Info();
    StepStraight(c);
    WrapStraight(c, ReadSize(view), screen);
    PlaceAtRecord(view, c);
}

void MoveFloating(MotionWindow& view, const Screen& screen) {
    ReseedFromTimer();
    CharaInfo& c = view.Info();
    const Size size = ReadSize(view);
    if (!StepFloating(c))
        return;
    WrapFloating(c, size, screen);
    PlaceAtRecord(view, c);
    MaybeStartPause(c);
}

void MoveBouncing(MotionWindow& view, const Screen& screen) {
    ReseedFromTimer();
    CharaInfo& c = view.Info();
    const Size size = ReadSize(view);
    StepBouncing(c);
    // The floor line follows the system metrics, so it is read at every step.
    const double floorLine = screen.FloorLineTwips();
    if (static_cast<double>(c.yPos) + size.h >= floorLine) {
        Launch(c, floorLine, size.h);
    }
    const double W = screen.WidthTwips();
    if (static_cast<double>(c.xPos) + size.w > W) {
        ReverseSideways(c);
        c.xPos = Store(W - size.w);
    }
    if (c.xPos < 0.0f) {
        ReverseSideways(c);
        c.xPos = 0.0f;
    }
    PlaceAtRecord(view, c);
}

void MotionTick(std::span<MotionWindow* const> views, MoveMode mode, const Screen& screen,
                const platform::Desktop* desktop, LedgeWorld* world) {
    const bool across = desktop != nullptr && desktop->Several();
    for (MotionWindow* view : views) {
        if (view == nullptr || view->Info().bMoving) {
            continue;
        }
        if (mode == MoveMode::kOnWindows) {
            if (desktop && world)
                MoveOnWindows(*view, *desktop, *world);
        } else if (across)
            MoveByMode(mode, *view, *desktop);
        else
            MoveByMode(mode, *view, screen);
    }
}

}  // namespace tovalin::motion

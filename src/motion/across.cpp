// The modes over a desktop of several monitors. Each step draws exactly what the one-screen step
// draws; only what happens at an edge differs.
#include <algorithm>
#include <optional>

#include "motion/motion.h"
#include "motion/random.h"
#include "motion/steps.h"

namespace tovalin::motion {

using platform::Area;
using platform::Desktop;
using platform::Monitor;
using namespace step;

namespace {

// A twip inside the window's right edge: the last column it covers.
constexpr double kInside = 1.0;

Area AreaOf(const CharaInfo& c, Size size) {
    const double x = c.xPos;
    const double y = c.yPos;
    return {x, y, x + size.w, y + size.h};
}

void MoveRecordTo(CharaInfo& c, const Area& area) {
    c.xPos = Store(area.left);
    c.yPos = Store(area.top);
}

// Where the straight mode comes back in after leaving what the monitors show: the far end of the
// desktop along its line, as on one screen, found among the monitors' edges on that line.
std::optional<Area> WrapTarget(int direction, const Area& area, const Desktop& desktop) {
    std::optional<Area> best;
    const auto better = [&](const Area& candidate) {
        if (!desktop.Shows(candidate))
            return;
        const bool wins = !best || (direction == 0 && candidate.left < best->left) ||
                          (direction == 2 && candidate.left > best->left) ||
                          (direction == 1 && candidate.top < best->top) ||
                          (direction == 3 && candidate.top > best->top);
        if (wins)
            best = candidate;
    };
    const double w = area.Width();
    const double h = area.Height();
    for (const Monitor& m : desktop.Monitors()) {
        switch (direction) {
            case 0:
                better({m.bounds.left, area.top, m.bounds.left + w, area.bottom});
                break;
            case 2:
                better({m.bounds.right - w, area.top, m.bounds.right, area.bottom});
                break;
            case 1:
                better({area.left, m.bounds.top, area.right, m.bounds.top + h});
                break;
            case 3:
                better({area.left, m.bounds.bottom - h, area.right, m.bounds.bottom});
                break;
            default:
                break;
        }
    }
    return best;
}

void WrapStraight(CharaInfo& c, Size size, const Desktop& desktop) {
    const Area area = AreaOf(c, size);
    if (desktop.Shows(area))
        return;
    const std::optional<Area> target = WrapTarget(c.rndm, area, desktop);
    MoveRecordTo(c, target ? *target : platform::MovedInside(area, desktop.Nearest(area).bounds));
}

// The one-screen wrap, on the monitor the character was on.
void WrapFloating(CharaInfo& c, Size size, const Desktop& desktop, const Area& before) {
    Area area = AreaOf(c, size);
    if (desktop.Shows(area))
        return;
    const Area home = desktop.Nearest(before).bounds;
    if (area.top < home.top)
        area.top = home.bottom - size.h;
    if (area.top + size.h > home.bottom)
        area.top = home.top;
    if (area.left + size.w > home.right)
        area.left = home.left;
    if (area.left < home.left)
        area.left = home.right - size.w;
    area = {area.left, area.top, area.left + size.w, area.top + size.h};
    MoveRecordTo(c, desktop.Shows(area) ? area : platform::MovedInside(area, home));
}

// How high a character may rise over a monitor at column x: without limit where nothing is
// above it, as over a single screen; at its top edge where a dead zone lies above it.
double Ceiling(const Desktop& desktop, const Monitor& m, double x) {
    constexpr double kSky = -1e300;
    double desktopTop = m.bounds.top;
    for (const Monitor& other : desktop.Monitors())
        desktopTop = std::min(desktopTop, other.bounds.top);
    if (m.bounds.top <= desktopTop || desktop.At(x, m.bounds.top - kInside) != nullptr)
        return kSky;
    return m.bounds.top;
}

// The monitor whose column the character may be in at x: it shows that column from the
// character's head (or the sky above) down to its feet.
const Monitor* OpenMonitorAt(const Desktop& desktop, double x, const Area& area) {
    for (const Monitor& m : desktop.Monitors()) {
        if (x >= m.bounds.left && x < m.bounds.right && area.bottom <= m.bounds.bottom &&
            area.top >= Ceiling(desktop, m, x))
            return &m;
    }
    return nullptr;
}

// The floor and ceiling over the columns a character covers: a character that straddles a
// seam stands on the higher floor and stops at the lower ceiling, so that no part of it ever
// hangs where no monitor shows.
struct Span {
    double floor;
    double ceiling;
};

Span SpanOver(const Desktop& desktop, double left, double right, double y, const Area& before) {
    std::optional<Span> span;
    for (const double x : {left, right - kInside}) {
        const Monitor* m = desktop.Below(x, y);
        if (!m)
            continue;
        const Span column{m->work.bottom, Ceiling(desktop, *m, x)};
        span = span ? Span{std::min(span->floor, column.floor),
                           std::max(span->ceiling, column.ceiling)}
                    : column;
    }
    if (span)
        return *span;
    const Monitor& home = desktop.Nearest(before);
    return {home.work.bottom, Ceiling(desktop, home, before.CentreX())};
}

// Falls to the floor and rises to the ceiling over the columns the character stood in.
void LandOrStop(CharaInfo& c, Size size, const Desktop& desktop, const Area& before) {
    const double y = c.yPos;
    const Span span = SpanOver(desktop, before.left, before.right, y + size.h / 2.0, before);
    if (y + size.h >= span.floor)
        Launch(c, span.floor, size.h);
    if (static_cast<double>(c.yPos) < span.ceiling) {
        c.yPos = Store(span.ceiling);
        c.yVeloc = std::max(c.yVeloc, 0.0f);
    }
}

// The desktop's outer edges and the sides of dead zones are walls: the character turns there,
// flush with the wall.
void TurnAtWalls(CharaInfo& c, Size size, const Desktop& desktop, const Area& before) {
    const Area area = AreaOf(c, size);
    const Monitor* leftOpen = OpenMonitorAt(desktop, area.left, area);
    const Monitor* rightOpen = OpenMonitorAt(desktop, area.right - kInside, area);
    if (leftOpen && rightOpen)
        return;
    ReverseSideways(c);
    if (leftOpen)
        c.xPos = Store(std::max(before.left, std::min(area.left, leftOpen->bounds.right - size.w)));
    else if (rightOpen)
        c.xPos = Store(std::min(before.left, std::max(area.left, rightOpen->bounds.left)));
    else
        c.xPos = Store(before.left);
}

}  // namespace

void MoveStraight(MotionWindow& view, const Desktop& desktop) {
    ReseedFromTimer();
    CharaInfo& c = view.Info();
    StepStraight(c);
    WrapStraight(c, ReadSize(view), desktop);
    PlaceAtRecord(view, c);
}

void MoveFloating(MotionWindow& view, const Desktop& desktop) {
    ReseedFromTimer();
    CharaInfo& c = view.Info();
    const Size size = ReadSize(view);
    const Area before = AreaOf(c, size);
    if (!StepFloating(c))
        return;
    WrapFloating(c, size, desktop, before);
    PlaceAtRecord(view, c);
    MaybeStartPause(c);
}

void MoveBouncing(MotionWindow& view, const Desktop& desktop) {
    ReseedFromTimer();
    CharaInfo& c = view.Info();
    const Size size = ReadSize(view);
    const Area before = AreaOf(c, size);
    StepBouncing(c);
    LandOrStop(c, size, desktop, before);
    TurnAtWalls(c, size, desktop, before);
    PlaceAtRecord(view, c);
}

bool BringBack(MotionWindow& view, const Desktop& desktop) {
    const Area area{view.LeftTwips(), view.TopTwips(), view.LeftTwips() + view.WidthTwips(),
                    view.TopTwips() + view.HeightTwips()};
    if (desktop.Monitors().empty() || desktop.Shows(area))
        return false;
    const Area back = platform::MovedInside(area, desktop.Nearest(area).work);
    MoveRecordTo(view.Info(), back);
    view.MoveTwips(back.left, back.top);
    return true;
}

}  // namespace tovalin::motion

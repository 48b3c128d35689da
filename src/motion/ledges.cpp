#include "motion/ledges.h"

#include <algorithm>

#include "motion/random.h"
#include "motion/steps.h"

namespace tovalin::motion {

using platform::Area;
using platform::Desktop;
using namespace step;

namespace {

struct Stretch {
    double left;
    double right;
};

// What is left of the stretches once [left, right) is taken out of them.
void CutOut(std::vector<Stretch>& stretches, double left, double right) {
    std::vector<Stretch> kept;
    for (const Stretch& s : stretches) {
        if (right <= s.left || left >= s.right) {
            kept.push_back(s);
            continue;
        }
        if (s.left < left)
            kept.push_back({s.left, left});
        if (right < s.right)
            kept.push_back({right, s.right});
    }
    stretches.swap(kept);
}

bool CoversMonitor(const Area& rect, const Desktop& desktop) {
    return std::any_of(desktop.Monitors().begin(), desktop.Monitors().end(),
                       [&](const platform::Monitor& m) {
                           return rect.left <= m.bounds.left && rect.top <= m.bounds.top &&
                                  rect.right >= m.bounds.right && rect.bottom >= m.bounds.bottom;
                       });
}

}  // namespace

WindowRole RoleOf(const WindowTraits& window, const Desktop& desktop) {
    if (!window.visible || window.minimised || window.cloaked || window.ours)
        return WindowRole::kNothing;
    if (window.rect.Width() <= 0.0 || window.rect.Height() <= 0.0)
        return WindowRole::kNothing;
    if (window.tool || window.shell || CoversMonitor(window.rect, desktop))
        return WindowRole::kCovers;
    return WindowRole::kLedge;
}

std::vector<Ledge> VisibleLedges(std::span<const TopWindow> zOrder) {
    std::vector<Ledge> ledges;
    for (std::size_t i = 0; i < zOrder.size(); ++i) {
        const TopWindow& window = zOrder[i];
        if (!window.ledge)
            continue;
        const double y = window.rect.top;
        std::vector<Stretch> open{{window.rect.left, window.rect.right}};
        for (std::size_t above = 0; above < i && !open.empty(); ++above) {
            const Area& cover = zOrder[above].rect;
            if (cover.top <= y && y < cover.bottom)
                CutOut(open, cover.left, cover.right);
        }
        for (const Stretch& s : open)
            ledges.push_back({window.id, y, s.left, s.right});
    }
    return ledges;
}

bool Holds(const Ledge& ledge, double left, double right) {
    const double held = std::min(right, ledge.right) - std::max(left, ledge.left);
    return held > 0.0 && held * 2.0 >= right - left;
}

std::optional<Ledge> FirstLedgeBetween(std::span<const Ledge> ledges, double left, double right,
                                       double from, double to) {
    std::optional<Ledge> first;
    for (const Ledge& ledge : ledges) {
        if (ledge.y < from || ledge.y > to || !Holds(ledge, left, right))
            continue;
        if (!first || ledge.y < first->y)
            first = ledge;
    }
    return first;
}

namespace {

Area RecordArea(const CharaInfo& c, Size size) {
    return {c.xPos, c.yPos, c.xPos + size.w, c.yPos + size.h};
}

// The floor of the work area under the character: the ledge that is always there.
double GroundUnder(const Desktop& desktop, const Area& area) {
    const platform::Monitor* below = desktop.Below(area.CentreX(), area.CentreY());
    return (below ? *below : desktop.Nearest(area)).work.bottom;
}

// The column the character walks into, just above the line it stands on, is one a monitor shows.
bool MayWalkTo(const Desktop& desktop, double left, double right, int direction, double y) {
    const double leading = direction > 0 ? right - 1.0 : left;
    return desktop.At(leading, y - 1.0) != nullptr;
}

int DrawDirection() {
    return Draw() < 0.5 ? -1 : 1;
}

void StartFalling(Footing& f) {
    f.on = Footing::On::kNothing;
    f.window = 0;
    f.fallSpeed = 0.0;
}

void StandOn(CharaInfo& c, Footing& f, Size size, double y, Footing::On on) {
    c.yPos = Store(y - size.h);
    f.on = on;
    f.fallSpeed = 0.0;
    f.direction = DrawDirection();
}

// Gravity as in "跳ねる", without a launch: the first ledge the feet pass is where it lands. A
// window ledge is checked against the system first; a stale one makes the list follow, and the
// way down is looked at once more.
void Fall(CharaInfo& c, Footing& f, Size size, const Desktop& desktop, LedgeWorld& world) {
    f.fallSpeed += 1.0;
    const Area area = RecordArea(c, size);
    const double ground = GroundUnder(desktop, area);
    const double from = area.bottom;
    const double to = std::min(from + f.fallSpeed, ground);
    for (int look = 0; look < 2; ++look) {
        const std::optional<Ledge> ledge =
            FirstLedgeBetween(world.Ledges(), area.left, area.right, from, to);
        if (!ledge)
            break;
        const std::optional<Area> window = world.Check(ledge->window);
        if (window && window->top == ledge->y) {
            StandOn(c, f, size, ledge->y, Footing::On::kWindow);
            f.window = ledge->window;
            f.windowLeft = window->left;
            f.windowWidth = window->Width();
            return;
        }
    }
    if (from + f.fallSpeed >= ground || from > ground) {
        StandOn(c, f, size, ground, Footing::On::kGround);
        return;
    }
    c.yPos = Store(static_cast<double>(c.yPos) + f.fallSpeed);
}

// One step along the line the character stands on. At the end of a window's edge it turns or
// walks off, drawn afresh at each arrival; at the desktop's edge it turns.
void Walk(CharaInfo& c, Footing& f, Size size, const Desktop& desktop, const Ledge& line) {
    const double next = static_cast<double>(c.xPos) + f.direction * kWalkStep;
    if (!MayWalkTo(desktop, next, next + size.w, f.direction, line.y)) {
        f.direction = -f.direction;
        return;
    }
    if (!Holds(line, next, next + size.w)) {
        if (Draw() < 0.5) {
            f.direction = -f.direction;
            return;
        }
        StartFalling(f);
    }
    c.xPos = Store(next);
}

// Riding: the character keeps its place on the edge wherever the window went. It falls when the
// window is gone or when what is under its feet is no longer a ledge (covered, cut shorter).
void WalkOnWindow(CharaInfo& c, Footing& f, Size size, const Desktop& desktop, LedgeWorld& world) {
    const std::optional<Area> window = world.Check(f.window);
    if (!window) {
        StartFalling(f);
        return;
    }
    if (window->Width() == f.windowWidth)
        c.xPos = Store(static_cast<double>(c.xPos) + window->left - f.windowLeft);
    c.yPos = Store(window->top - size.h);
    f.windowLeft = window->left;
    f.windowWidth = window->Width();
    const Area area = RecordArea(c, size);
    const std::span<const Ledge> ledges = world.Ledges();
    const auto under = std::find_if(ledges.begin(), ledges.end(), [&](const Ledge& ledge) {
        return ledge.window == f.window && ledge.y == window->top &&
               Holds(ledge, area.left, area.right);
    });
    if (under == ledges.end()) {
        StartFalling(f);
        return;
    }
    Walk(c, f, size, desktop, *under);
}

void WalkOnGround(CharaInfo& c, Footing& f, Size size, const Desktop& desktop) {
    const Area area = RecordArea(c, size);
    const double ground = GroundUnder(desktop, area);
    if (area.bottom < ground) {
        StartFalling(f);
        return;
    }
    c.yPos = Store(ground - size.h);
    const double next = area.left + f.direction * kWalkStep;
    const Area ahead{next, ground - size.h, next + size.w, ground};
    const double groundAhead = GroundUnder(desktop, ahead);
    if (!MayWalkTo(desktop, ahead.left, ahead.right, f.direction, ground) || groundAhead < ground) {
        f.direction = -f.direction;
        return;
    }
    c.xPos = Store(next);
    if (groundAhead > ground)
        StartFalling(f);
}

// A character another mode moved, or one the user dropped, falls from where it is now.
void TakeOver(MotionWindow& view, CharaInfo& c, Footing& f) {
    if (f.dropped) {
        c.xPos = Store(view.LeftTwips());
        c.yPos = Store(view.TopTwips());
    }
    const bool ours = f.placed && c.xPos == f.placedLeft && c.yPos == f.placedTop;
    if (f.dropped || !ours) {
        StartFalling(f);
        f.dropped = false;
    }
}

}  // namespace

void MoveOnWindows(MotionWindow& view, const Desktop& desktop, LedgeWorld& world) {
    ReseedFromTimer();
    CharaInfo& c = view.Info();
    Footing& f = view.LedgeFooting();
    const Size size = ReadSize(view);
    TakeOver(view, c, f);
    switch (f.on) {
        case Footing::On::kWindow:
            WalkOnWindow(c, f, size, desktop, world);
            break;
        case Footing::On::kGround:
            WalkOnGround(c, f, size, desktop);
            break;
        case Footing::On::kNothing:
            Fall(c, f, size, desktop, world);
            break;
    }
    PlaceAtRecord(view, c);
    f.placed = true;
    f.placedLeft = c.xPos;
    f.placedTop = c.yPos;
}

}  // namespace tovalin::motion

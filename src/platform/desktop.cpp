#include "platform/desktop.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/units.h"

namespace tovalin::platform {

namespace {

bool Holds(const Area& area, double x, double y) {
    return x >= area.left && x < area.right && y >= area.top && y < area.bottom;
}

double OverlapArea(const Area& a, const Area& b) {
    const double w = std::min(a.right, b.right) - std::max(a.left, b.left);
    const double h = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
    return w > 0.0 && h > 0.0 ? w * h : 0.0;
}

// How far a point lies outside an area (0 inside).
double DistanceTo(const Area& area, double x, double y) {
    const double dx = std::max({area.left - x, 0.0, x - area.right});
    const double dy = std::max({area.top - y, 0.0, y - area.bottom});
    return std::hypot(dx, dy);
}

double MovedInside(double start, double length, double low, double high) {
    if (start + length > high)
        start = high - length;
    return std::max(start, low);
}

}  // namespace

Desktop::Desktop(std::vector<Monitor> monitors) {
    std::stable_partition(monitors.begin(), monitors.end(),
                          [](const Monitor& m) { return m.primary; });
    for (const Monitor& m : monitors) {
        const bool seen = std::any_of(monitors_.begin(), monitors_.end(),
                                      [&](const Monitor& kept) { return kept.bounds == m.bounds; });
        if (!seen && m.bounds.Width() > 0.0 && m.bounds.Height() > 0.0)
            monitors_.push_back(m);
    }
}

const Monitor& Desktop::Primary() const {
    static const Monitor kNone{};
    return monitors_.empty() ? kNone : monitors_.front();
}

// Monitors do not overlap once mirrors are merged, so the pieces they show add up to the whole
// area exactly when nothing of it lies in a dead zone or beyond the desktop.
bool Desktop::Shows(const Area& area) const {
    if (area.Width() <= 0.0 || area.Height() <= 0.0)
        return At(area.left, area.top) != nullptr;
    double shown = 0.0;
    for (const Monitor& m : monitors_)
        shown += OverlapArea(area, m.bounds);
    return shown >= area.Width() * area.Height();
}

const Monitor* Desktop::At(double x, double y) const {
    for (const Monitor& m : monitors_) {
        if (Holds(m.bounds, x, y))
            return &m;
    }
    return nullptr;
}

const Monitor& Desktop::Nearest(const Area& area) const {
    const double x = area.CentreX();
    const double y = area.CentreY();
    const Monitor* nearest = &Primary();
    double best = std::numeric_limits<double>::infinity();
    for (const Monitor& m : monitors_) {
        const double distance = DistanceTo(m.bounds, x, y);
        if (distance < best) {
            best = distance;
            nearest = &m;
        }
    }
    return *nearest;
}

const Monitor* Desktop::Below(double x, double y) const {
    const Monitor* below = nullptr;
    const Monitor* lowest = nullptr;
    for (const Monitor& m : monitors_) {
        if (x < m.bounds.left || x >= m.bounds.right)
            continue;
        if (y >= m.bounds.top && y < m.bounds.bottom)
            return &m;
        if (m.bounds.top >= y && (!below || m.bounds.top < below->bounds.top))
            below = &m;
        if (!lowest || m.bounds.bottom > lowest->bounds.bottom)
            lowest = &m;
    }
    return below ? below : lowest;
}

Area MovedInside(const Area& area, const Area& within) {
    const double left = MovedInside(area.left, area.Width(), within.left, within.right);
    const double top = MovedInside(area.top, area.Height(), within.top, within.bottom);
    return {left, top, left + area.Width(), top + area.Height()};
}

int ScaleOnDesktop(const Desktop& desktop, const Area& area) {
    return ScaleForDpi(desktop.Nearest(area).dpi);
}

}  // namespace tovalin::platform

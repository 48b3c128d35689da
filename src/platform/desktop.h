// The desktop as its monitors show it: rectangles in virtual-desktop coordinates (the primary's
// top left is 0,0; a monitor left of or above it has negative coordinates), in whatever unit the
// caller fills them with (the player uses twips).
#pragma once

#include <vector>

namespace tovalin::platform {

struct Area {
    double left = 0.0;
    double top = 0.0;
    double right = 0.0;  // exclusive
    double bottom = 0.0;
    double Width() const { return right - left; }
    double Height() const { return bottom - top; }
    double CentreX() const { return (left + right) / 2.0; }
    double CentreY() const { return (top + bottom) / 2.0; }
    friend bool operator==(const Area&, const Area&) = default;
};

struct Monitor {
    Area bounds;
    Area work;  // what the taskbar and docked bars leave free
    int dpi = 96;
    bool primary = false;
    friend bool operator==(const Monitor&, const Monitor&) = default;
};

class Desktop {
  public:
    Desktop() = default;
    // The primary comes first whatever the order given; monitors that show exactly the same
    // rectangle as an earlier one (mirrored displays) count once.
    explicit Desktop(std::vector<Monitor> monitors);

    const std::vector<Monitor>& Monitors() const { return monitors_; }
    bool Several() const { return monitors_.size() > 1; }
    const Monitor& Primary() const;

    // True when some monitor shows every point of the area.
    bool Shows(const Area& area) const;
    // The monitor that holds the point, or null in a dead zone or beyond the desktop.
    const Monitor* At(double x, double y) const;
    // The monitor under the area's centre; failing that, the one nearest to it.
    const Monitor& Nearest(const Area& area) const;
    // The monitor whose floor an area standing at this column falls to: of the monitors that
    // hold x, the one holding y, else the first below y, else the lowest. Null when no monitor
    // holds x.
    const Monitor* Below(double x, double y) const;

    friend bool operator==(const Desktop&, const Desktop&) = default;

  private:
    std::vector<Monitor> monitors_;
};

// The area moved by the least distance that brings it inside `within` (its left and top edges
// win when it is larger).
Area MovedInside(const Area& area, const Area& within);

// The whole-number scale for an area on the desktop: that of the monitor under its centre.
int ScaleOnDesktop(const Desktop& desktop, const Area& area);

}  // namespace tovalin::platform

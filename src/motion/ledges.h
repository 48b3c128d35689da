// The "窓の上" mode: characters fall onto the top edges of the user's windows and the floor of
// the work area, walk along them, ride a window that moves and fall when it goes. Geometry and
// steps only; what the system says of its windows comes through LedgeWorld.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "motion/motion.h"
#include "platform/desktop.h"

namespace tovalin::motion {

// A top-level window as the system describes it (rectangles in twips).
struct WindowTraits {
    platform::Area rect;
    bool visible = false;
    bool minimised = false;
    bool cloaked = false;
    bool ours = false;   // a window of the player itself
    bool tool = false;   // a tool window: palettes, tips, floating bars
    bool shell = false;  // the desktop, the taskbar and the shell's other windows
};

// kNothing: it neither holds nor hides anything (hidden, minimised, cloaked, the player's own).
// kCovers: it hides the edges behind it, but nobody stands on it.
enum class WindowRole { kNothing, kCovers, kLedge };
WindowRole RoleOf(const WindowTraits& window, const platform::Desktop& desktop);

// A window that takes part, in z-order from the top.
struct TopWindow {
    std::uintptr_t id = 0;
    platform::Area rect;
    bool ledge = false;  // else it only covers
    friend bool operator==(const TopWindow&, const TopWindow&) = default;
};

// The visible stretch [left, right) of a window's top edge, at height y.
struct Ledge {
    std::uintptr_t window = 0;
    double y = 0.0;
    double left = 0.0;
    double right = 0.0;
    friend bool operator==(const Ledge&, const Ledge&) = default;
};

// Each ledge window's top edge, less what the windows above it in z-order cover of that line.
std::vector<Ledge> VisibleLedges(std::span<const TopWindow> zOrder);

// True when the ledge holds at least half of the span [left, right): a character stands there.
bool Holds(const Ledge& ledge, double left, double right);

// The highest ledge that feet spanning [left, right) meet on their way down from `from` to `to`.
std::optional<Ledge> FirstLedgeBetween(std::span<const Ledge> ledges, double left, double right,
                                       double from, double to);

// What the mode asks of the system. The list of ledges is kept from what the system announced;
// Check asks the system itself about one window.
class LedgeWorld {
  public:
    virtual std::span<const Ledge> Ledges() = 0;
    // The window's rectangle now, or nothing when it is closed, hidden or minimised. The list
    // follows what was found.
    virtual std::optional<platform::Area> Check(std::uintptr_t window) = 0;

  protected:
    ~LedgeWorld() = default;
};

// 20 pixels a second at 96 dpi: 15 twips a tick.
inline constexpr double kWalkStep = 15.0;

// One step of "窓の上" for one window. Re-seeds Rng() from the timer source first.
void MoveOnWindows(MotionWindow& view, const platform::Desktop& desktop, LedgeWorld& world);

}  // namespace tovalin::motion

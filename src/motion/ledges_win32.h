// The user's windows as "窓の上" sees them: a list kept from the system's window events (moves,
// shows, hides, ends, minimising, z-order) of other processes, so that a tick asks the system
// nothing but the few windows characters stand on or land on.
#pragma once

#include <windows.h>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "motion/ledges.h"
#include "platform/handles_win32.h"

namespace tovalin::motion {

class LedgeWatch final : public LedgeWorld {
  public:
    // Installs the event hooks and reads every window once. One watch at a time.
    LedgeWatch();
    ~LedgeWatch();
    LedgeWatch(const LedgeWatch&) = delete;
    LedgeWatch& operator=(const LedgeWatch&) = delete;

    // At the start of every motion tick: reads the windows again when an event asked for it
    // or when a second has passed since (some systems announce less than they should), and
    // forgets what was checked in the last tick.
    void BeginTick();

    std::span<const Ledge> Ledges() override;
    // Asked at most once a tick for each window; a second question has the first answer.
    std::optional<platform::Area> Check(std::uintptr_t window) override;

    // From the event hook.
    void WindowMoved(HWND hwnd);
    void WindowsChanged() { stale_ = true; }

  private:
    void ReadAll();
    void Follow(std::uintptr_t window, const std::optional<platform::Area>& now);

    std::array<platform::UniqueWinEventHook, 5> hooks_;
    std::vector<TopWindow> windows_;  // z-order, top first
    std::vector<Ledge> ledges_;
    bool stale_ = true;
    bool ledgesStale_ = true;
    int ticksSinceRead_ = 0;
    std::vector<std::pair<std::uintptr_t, std::optional<platform::Area>>> checked_;
};

}  // namespace tovalin::motion

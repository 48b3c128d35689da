// Counts of the calls that drive what the characters cost the system, per kind: read by the
// steady-state benchmark to see where the work comes from. Counting is an increment in memory;
// a process started with TOVALIN_COUNTERS=1 in its environment also shares the counts with other
// processes (see counters_win32.h).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tovalin::platform {

enum class Counter : std::size_t {
    kFrameSwitch,   // ShowFrame
    kRegionChange,  // a window region handed to the system
    kRepaint,       // a character window painted
    kWindowMove,    // a window moved to a new place
    kTimerStart,    // a system timer (re)started
    kTimerStop,     // a system timer stopped
    kPumpPass,      // a pass of the pending-message pump
    kMessage,       // a message the pump dispatched
    kCount
};

inline constexpr std::size_t kCounterCount = static_cast<std::size_t>(Counter::kCount);
using CounterValues = std::array<std::uint64_t, kCounterCount>;

// The counts live here unless a shared block has taken their place.
CounterValues*& CounterBlock();

inline void Count(Counter counter) {
    ++(*CounterBlock())[static_cast<std::size_t>(counter)];
}

}  // namespace tovalin::platform

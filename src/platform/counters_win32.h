// Sharing the counts (counters.h) with another process: the benchmark reads a running player's.
#pragma once

#include "platform/counters.h"

#include <windows.h>

#include <optional>
#include <string>

namespace tovalin::platform {

// The name of the shared block of the process with this id.
std::wstring CounterBlockName(DWORD pid);

// When the environment holds TOVALIN_COUNTERS=1, moves this process's counts into a block other
// processes can open by name; otherwise nothing changes. Called once, at start.
void ShareCountersIfAsked();

// A snapshot of another process's shared counts, or nothing when it shares none.
std::optional<CounterValues> ReadSharedCounters(DWORD pid);

}  // namespace tovalin::platform

// The rates the steady state's floor keeps to, in a block shared by name so that they can be
// changed while it runs: tovalin-steady-win32.exe's "rates" command writes them, and the floor
// reads them at every tick. The orchestrator gives the floor the rates the scene has just shown.
#pragma once

#include <windows.h>

#include <string>

namespace tovalin::bench {

struct FloorRates {
    double framesPerSecond;  // frame switches a second, all windows together
    double movesPerSecond;   // moves a second, all windows together; below 0: a step a tick
};

inline std::wstring FloorRatesName(DWORD pid) {
    return L"Local\\tovalin-floor-rates-" + std::to_wstring(pid);
}

}  // namespace tovalin::bench

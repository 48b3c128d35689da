// The ways out of the program that do not return: at once, or after a final message and the
// clean-up every way out must do.
#pragma once

#include <windows.h>

#include <string_view>

namespace tovalin::platform {

// Ends the process at once: no further handler runs.
[[noreturn]] void EndProcessNow(UINT exitCode = 0);

// Work every way out of the program must do (removing the tray icon, deleting the unpacked
// files). Registered once by the start-up sequence; FatalExit runs them in that order.
void AtFatalExit(void (*cleanup)());

// Shows the message under the application's title with the error icon, runs the registered
// clean-up and ends the process with exit code 1. No timer starts new work in the meantime.
[[noreturn]] void FatalExit(std::wstring_view message);

}  // namespace tovalin::platform

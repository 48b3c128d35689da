#include "platform/fatal_exit_win32.h"

#include <vector>

#include "platform/guard_win32.h"
#include "platform/message_box_win32.h"
#include "platform/window_win32.h"

namespace tovalin::platform {

namespace {

std::vector<void (*)()>& FatalCleanups() {
    static std::vector<void (*)()> cleanups;
    return cleanups;
}

}  // namespace

void EndProcessNow(UINT exitCode) {
    ::ExitProcess(exitCode);
}

void AtFatalExit(void (*cleanup)()) {
    FatalCleanups().push_back(cleanup);
}

void FatalExit(std::wstring_view message) {
    // The message box runs a modal loop; no timer may start new work behind it.
    SuppressAllTimers();
    ShowMessage(message, kAppTitle, MB_ICONERROR);
    for (void (*cleanup)() : FatalCleanups())
        Ignoring(cleanup);
    EndProcessNow(1);
}

}  // namespace tovalin::platform

#include "ui/away.h"

namespace tovalin::ui {

bool CoversScreenWithoutCaption(const ForegroundWindow& window, const ScreenRect& monitor) {
    if (!window.exists || window.ours || window.shell || window.captioned)
        return false;
    if (monitor.right <= monitor.left || monitor.bottom <= monitor.top)
        return false;
    return window.rect.left <= monitor.left && window.rect.top <= monitor.top &&
           window.rect.right >= monitor.right && window.rect.bottom >= monitor.bottom;
}

bool ShellReportsFullScreen(int userNotificationState) {
    constexpr int kBusy = 2;
    constexpr int kRunningD3dFullScreen = 3;
    constexpr int kPresentationMode = 4;
    return userNotificationState == kBusy || userNotificationState == kRunningD3dFullScreen ||
           userNotificationState == kPresentationMode;
}

bool DisplayIsOff(std::uint32_t displayState) {
    return displayState == 0;
}

}  // namespace tovalin::ui

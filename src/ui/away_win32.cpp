#include "ui/away_win32.h"

#include "platform/guard_win32.h"
#include "platform/shell_windows_win32.h"
#include "platform/system_function_win32.h"
#include "shape/scene_win32.h"
#include "ui/away.h"

#include <shellapi.h>
#include <wtsapi32.h>

#include <array>
#include <cstring>
#include <string_view>

namespace tovalin::ui {

namespace {

constexpr UINT_PTR kCheckTimerId = 2;
constexpr UINT kCheckIntervalMs = 1000;  // the foreground hook sees most changes at once

// GUID_CONSOLE_DISPLAY_STATE, spelt out so that no import library has to provide it.
constexpr GUID kConsoleDisplayState = {
    0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};

AwayWatch* gWatch = nullptr;  // the one watch the foreground hook reports to

ForegroundWindow DescribeForeground() {
    ForegroundWindow window;
    const HWND hwnd = ::GetForegroundWindow();
    if (!hwnd || !::IsWindowVisible(hwnd))
        return window;
    window.exists = true;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    window.ours = pid == ::GetCurrentProcessId();
    window.shell = platform::IsShellWindow(hwnd);
    const auto style = static_cast<DWORD>(::GetWindowLongW(hwnd, GWL_STYLE));
    window.captioned = (style & WS_CAPTION) == WS_CAPTION;
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    window.rect = {r.left, r.top, r.right, r.bottom};
    return window;
}

ScreenRect PrimaryMonitorRect() {
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (!::GetMonitorInfoW(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info))
        return {};
    return {info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right, info.rcMonitor.bottom};
}

int UserNotificationState() {
    QUERY_USER_NOTIFICATION_STATE state{};
    return SUCCEEDED(::SHQueryUserNotificationState(&state)) ? static_cast<int>(state) : 0;
}

void CALLBACK ForegroundChanged(HWINEVENTHOOK, DWORD, HWND, LONG, LONG, DWORD, DWORD) {
    platform::Guarded("foreground", [] {
        if (gWatch)
            gWatch->CheckFullScreen();
    });
}

}  // namespace

AwayWatch::AwayWatch(platform::Window& host)
    : host_(host), check_(host, kCheckTimerId, platform::Timer::kRunsWhilePaused) {}

AwayWatch::~AwayWatch() {
    if (gWatch == this)
        gWatch = nullptr;
    if (hook_)
        ::UnhookWinEvent(hook_);
    if (power_)
        ::UnregisterPowerSettingNotification(power_);
    using UnregisterFn = BOOL(WINAPI*)(HWND);
    if (sessionNotified_ && host_.hwnd()) {
        if (const auto unregisterSession = platform::SystemFunction<UnregisterFn>(
                L"wtsapi32.dll", "WTSUnRegisterSessionNotification"))
            unregisterSession(host_.hwnd());
    }
}

void AwayWatch::Start() {
    gWatch = this;
    hook_ =
        ::SetWinEventHook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr,
                          ForegroundChanged, 0, 0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    using RegisterFn = BOOL(WINAPI*)(HWND, DWORD);
    const auto registerSession =
        platform::SystemFunction<RegisterFn>(L"wtsapi32.dll", "WTSRegisterSessionNotification");
    sessionNotified_ = registerSession && registerSession(host_.hwnd(), NOTIFY_FOR_THIS_SESSION);
    power_ = ::RegisterPowerSettingNotification(host_.hwnd(), &kConsoleDisplayState,
                                                DEVICE_NOTIFY_WINDOW_HANDLE);
    check_.SetInterval(kCheckIntervalMs);
    CheckFullScreen();
}

void AwayWatch::CheckFullScreen() {
    if (locked_ || displayOff_)
        return;  // looked at again when somebody is back
    const bool fullScreen =
        CoversScreenWithoutCaption(DescribeForeground(), PrimaryMonitorRect()) ||
        ShellReportsFullScreen(UserNotificationState());
    shape::SetAway(shape::Away::kFullScreen, fullScreen);
}

bool AwayWatch::OnTimer(UINT_PTR id) {
    if (id != check_.Id())
        return false;
    CheckFullScreen();
    return true;
}

bool AwayWatch::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_WTSSESSION_CHANGE) {
        if (wp == WTS_SESSION_LOCK)
            SetAsleep(true, displayOff_);
        else if (wp == WTS_SESSION_UNLOCK)
            SetAsleep(false, displayOff_);
        return true;
    }
    if (msg == WM_POWERBROADCAST && wp == PBT_POWERSETTINGCHANGE && lp) {
        const auto* setting = reinterpret_cast<const POWERBROADCAST_SETTING*>(lp);
        if (IsEqualGUID(setting->PowerSetting, kConsoleDisplayState) &&
            setting->DataLength >= sizeof(DWORD)) {
            DWORD state = 0;
            std::memcpy(&state, setting->Data, sizeof(state));
            SetAsleep(locked_, DisplayIsOff(state));
        }
        return true;
    }
    return false;
}

// Asleep, even the check stops: nothing runs on a timer until somebody is back.
void AwayWatch::SetAsleep(bool locked, bool displayOff) {
    locked_ = locked;
    displayOff_ = displayOff;
    const bool asleep = locked_ || displayOff_;
    shape::SetAway(shape::Away::kLocked, locked_);
    shape::SetAway(shape::Away::kDisplayOff, displayOff_);
    check_.SetEnabled(!asleep);
    if (!asleep)
        CheckFullScreen();
}

}  // namespace tovalin::ui

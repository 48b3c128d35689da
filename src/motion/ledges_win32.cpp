#include "motion/ledges_win32.h"

#include <algorithm>

#include "platform/guard_win32.h"
#include "platform/screen_metrics_win32.h"
#include "platform/shell_windows_win32.h"
#include "platform/system_function_win32.h"

namespace tovalin::motion {

namespace {

// The safety net for systems whose events say less than they should: 20 ticks, a second.
constexpr int kTicksBetweenReads = 20;
constexpr DWORD kDwmExtendedFrameBounds = 9;  // DWMWA_EXTENDED_FRAME_BOUNDS
constexpr DWORD kDwmCloaked = 14;             // DWMWA_CLOAKED
// EVENT_OBJECT_CLOAKED and EVENT_OBJECT_UNCLOAKED, newer than the headers the build targets.
constexpr DWORD kEventCloaked = 0x8017;
constexpr DWORD kEventUncloaked = 0x8018;

LedgeWatch* gLedgeWatch = nullptr;  // the one watch the hooks report to

std::uintptr_t IdOf(HWND hwnd) {
    return reinterpret_cast<std::uintptr_t>(hwnd);
}

using GetAttributeFn = HRESULT(WINAPI*)(HWND, DWORD, void*, DWORD);

GetAttributeFn DwmAttribute() {
    static const auto getAttribute =
        platform::SystemFunction<GetAttributeFn>(L"dwmapi.dll", "DwmGetWindowAttribute");
    return getAttribute;
}

bool IsCloaked(HWND hwnd) {
    DWORD cloaked = 0;
    const GetAttributeFn getAttribute = DwmAttribute();
    return getAttribute && SUCCEEDED(getAttribute(hwnd, kDwmCloaked, &cloaked, sizeof cloaked)) &&
           cloaked != 0;
}

// What the user sees of the window: the window's rectangle less the invisible borders that
// newer systems add around it for resizing, so that a character stands on the visible edge.
bool SeenRect(HWND hwnd, RECT& rect) {
    const GetAttributeFn getAttribute = DwmAttribute();
    if (getAttribute &&
        SUCCEEDED(getAttribute(hwnd, kDwmExtendedFrameBounds, &rect, sizeof rect)) &&
        rect.right > rect.left && rect.bottom > rect.top)
        return true;
    return ::GetWindowRect(hwnd, &rect) != FALSE;
}

// Hidden windows, the most numerous kind, cost one question.
WindowTraits Describe(HWND hwnd) {
    WindowTraits traits;
    const auto style = static_cast<DWORD>(::GetWindowLongW(hwnd, GWL_STYLE));
    traits.visible = (style & WS_VISIBLE) != 0;
    traits.minimised = (style & WS_MINIMIZE) != 0;
    if (!traits.visible || traits.minimised)
        return traits;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    traits.ours = pid == ::GetCurrentProcessId();
    if (traits.ours)
        return traits;
    const auto exStyle = static_cast<DWORD>(::GetWindowLongW(hwnd, GWL_EXSTYLE));
    traits.tool = (exStyle & WS_EX_TOOLWINDOW) != 0;
    traits.shell = platform::IsShellWindow(hwnd);
    traits.cloaked = IsCloaked(hwnd);
    RECT rect{};
    if (SeenRect(hwnd, rect))
        traits.rect = platform::AreaInTwips(rect);
    return traits;
}

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
    return TRUE;
}

bool IsTopLevel(HWND hwnd) {
    return hwnd && ::GetAncestor(hwnd, GA_PARENT) == ::GetDesktopWindow();
}

void CALLBACK WindowEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object, LONG child, DWORD,
                          DWORD) {
    if (object != OBJID_WINDOW || child != CHILDID_SELF)
        return;  // the caret, the cursor, controls' parts
    platform::Guarded("window event", [&] {
        if (!gLedgeWatch)
            return;
        if (event == EVENT_OBJECT_LOCATIONCHANGE)
            gLedgeWatch->WindowMoved(hwnd);
        else if (event != EVENT_OBJECT_SHOW || IsTopLevel(hwnd))
            gLedgeWatch->WindowsChanged();
    });
}

platform::UniqueWinEventHook Hook(DWORD first, DWORD last) {
    return platform::UniqueWinEventHook(::SetWinEventHook(
        first, last, nullptr, &WindowEvent, 0, 0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS));
}

}  // namespace

LedgeWatch::LedgeWatch() {
    gLedgeWatch = this;
    // The foreground's change restacks windows; minimising and its end; a window shown,
    // hidden, ended or restacked; a window moved or sized; cloaked or uncloaked.
    hooks_ = {Hook(EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND),
              Hook(EVENT_SYSTEM_MINIMIZESTART, EVENT_SYSTEM_MINIMIZEEND),
              Hook(EVENT_OBJECT_DESTROY, EVENT_OBJECT_REORDER),
              Hook(EVENT_OBJECT_LOCATIONCHANGE, EVENT_OBJECT_LOCATIONCHANGE),
              Hook(kEventCloaked, kEventUncloaked)};
    ReadAll();
}

LedgeWatch::~LedgeWatch() {
    if (gLedgeWatch == this)
        gLedgeWatch = nullptr;
}

void LedgeWatch::ReadAll() {
    std::vector<HWND> all;
    ::EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&all));
    const platform::Desktop& desktop = platform::SystemDesktop();
    std::vector<TopWindow> windows;
    for (HWND hwnd : all) {
        const WindowTraits traits = Describe(hwnd);
        const WindowRole role = RoleOf(traits, desktop);
        if (role != WindowRole::kNothing)
            windows.push_back({IdOf(hwnd), traits.rect, role == WindowRole::kLedge});
    }
    if (windows != windows_) {
        windows_.swap(windows);
        ledgesStale_ = true;
    }
    stale_ = false;
    ticksSinceRead_ = 0;
}

void LedgeWatch::BeginTick() {
    checked_.clear();
    if (stale_ || ++ticksSinceRead_ >= kTicksBetweenReads)
        ReadAll();
}

std::span<const Ledge> LedgeWatch::Ledges() {
    if (ledgesStale_) {
        ledges_ = VisibleLedges(windows_);
        ledgesStale_ = false;
    }
    return ledges_;
}

void LedgeWatch::WindowMoved(HWND hwnd) {
    const auto known = std::find_if(windows_.begin(), windows_.end(),
                                    [&](const TopWindow& w) { return w.id == IdOf(hwnd); });
    if (known == windows_.end()) {
        if (IsTopLevel(hwnd))
            stale_ = true;  // a window the list does not hold yet may have come into view
        return;
    }
    RECT rect{};
    if (!SeenRect(hwnd, rect)) {
        stale_ = true;
        return;
    }
    const platform::Area now = platform::AreaInTwips(rect);
    if (now != known->rect) {
        known->rect = now;
        ledgesStale_ = true;
    }
}

// A window that is closed, hidden or minimised leaves the list; one that moved takes its new
// place. Its place in the z-order is the one the list had.
void LedgeWatch::Follow(std::uintptr_t window, const std::optional<platform::Area>& now) {
    const auto known = std::find_if(windows_.begin(), windows_.end(),
                                    [&](const TopWindow& w) { return w.id == window; });
    if (known == windows_.end()) {
        if (now)
            stale_ = true;
        return;
    }
    if (!now) {
        windows_.erase(known);
        ledgesStale_ = true;
    } else if (*now != known->rect) {
        known->rect = *now;
        ledgesStale_ = true;
    }
}

std::optional<platform::Area> LedgeWatch::Check(std::uintptr_t window) {
    for (const auto& [id, area] : checked_) {
        if (id == window)
            return area;
    }
    const auto hwnd = reinterpret_cast<HWND>(window);
    const auto style = static_cast<DWORD>(::GetWindowLongW(hwnd, GWL_STYLE));
    std::optional<platform::Area> now;
    RECT rect{};
    if ((style & WS_VISIBLE) && !(style & WS_MINIMIZE) && SeenRect(hwnd, rect))
        now = platform::AreaInTwips(rect);
    Follow(window, now);
    checked_.emplace_back(window, now);
    return now;
}

}  // namespace tovalin::motion

#include "platform/dpi_win32.h"

#include "platform/handles_win32.h"
#include "platform/screen_metrics_win32.h"
#include "platform/system_function_win32.h"
#include "platform/units.h"

namespace tovalin::platform {

namespace {

HMONITOR PrimaryMonitor() {
    return ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
}

// Read once and then kept: the motion asks several times per character and tick, and asking
// the system takes a screen DC. A change arrives as a message and is recorded.
int& CurrentDpi() {
    static int dpi = 0;
    return dpi;
}

}  // namespace

void DeclareDpiAwareness() {
    using SetContextFn = BOOL(WINAPI*)(HANDLE);
    const auto setContext =
        SystemFunction<SetContextFn>(L"user32.dll", "SetProcessDpiAwarenessContext");
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2; the manifest may have declared it already.
    const auto perMonitorV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
    if (setContext && setContext(perMonitorV2))
        return;
    if (setContext && ::GetLastError() == ERROR_ACCESS_DENIED)
        return;  // already declared, by the manifest
    ::SetProcessDPIAware();
}

int DisplayDpi() {
    int& dpi = CurrentDpi();
    if (dpi <= 0)
        dpi = QueryPrimaryDpi();
    return dpi;
}

void SetDisplayDpi(int dpi) {
    CurrentDpi() = dpi > 0 ? dpi : 0;
    ForgetScreenMetrics();
}

int DisplayScale() {
    return ScaleForDpi(DisplayDpi());
}

// A monitor's effective resolution where the system can tell it per monitor.
int MonitorDpi(HMONITOR monitor) {
    using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    static const auto getDpiForMonitor =
        SystemFunction<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor");
    UINT x = 0, y = 0;
    constexpr int kEffectiveDpi = 0;
    if (getDpiForMonitor && SUCCEEDED(getDpiForMonitor(monitor, kEffectiveDpi, &x, &y)) && x > 0)
        return static_cast<int>(x);
    return 0;
}

int QueryPrimaryDpi() {
    const int dpi = MonitorDpi(PrimaryMonitor());
    return dpi > 0 ? dpi : ScreenDcDpi();
}

int ScreenDcDpi() {
    const ScreenDc dc;
    const int value = dc.get() ? ::GetDeviceCaps(dc.get(), LOGPIXELSX) : 96;
    return value > 0 ? value : 96;
}

bool OnPrimaryDisplay(HWND hwnd) {
    return ::MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST) == PrimaryMonitor();
}

}  // namespace tovalin::platform

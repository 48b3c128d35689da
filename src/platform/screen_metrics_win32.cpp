#include "platform/screen_metrics_win32.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "platform/dpi_win32.h"
#include "platform/system_function_win32.h"

namespace tovalin::platform {

namespace {

struct ScreenMetrics {
    bool known = false;
    int width = 0;           // pixels
    int height = 0;          // pixels
    int freeAreaHeight = 0;  // pixels
    bool desktopKnown = false;
    Desktop desktop;
};

ScreenMetrics& KnownScreenMetrics() {
    static ScreenMetrics metrics;
    return metrics;
}

// Some systems (Wine among them) report a full-screen client height taller than the screen,
// which would sink a floor drawn from it below the screen's bottom edge: the free area never
// reaches below the work area.
int MeasureFreeAreaHeight() {
    int pixels = ::GetSystemMetrics(SM_CYFULLSCREEN) + ::GetSystemMetrics(SM_CYCAPTION);
    RECT work{};
    if (::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
        pixels = std::min<int>(pixels, work.bottom);
    return pixels;
}

const ScreenMetrics& CurrentScreenMetrics() {
    ScreenMetrics& metrics = KnownScreenMetrics();
    if (!metrics.known) {
        metrics.width = ::GetSystemMetrics(SM_CXSCREEN);
        metrics.height = ::GetSystemMetrics(SM_CYSCREEN);
        metrics.freeAreaHeight = MeasureFreeAreaHeight();
        metrics.known = true;
    }
    return metrics;
}

int DpiOf(HMONITOR monitor) {
    const int dpi = MonitorDpi(monitor);
    return dpi > 0 ? dpi : DisplayDpi();
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (::GetMonitorInfoW(monitor, &info)) {
        reinterpret_cast<std::vector<Monitor>*>(list)->push_back(
            {AreaInTwips(info.rcMonitor), AreaInTwips(info.rcWork), DpiOf(monitor),
             (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
    }
    return TRUE;
}

// A system that lists no monitor still has its primary screen.
Desktop MeasureDesktop() {
    std::vector<Monitor> monitors;
    ::EnumDisplayMonitors(nullptr, nullptr, &AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    if (monitors.empty()) {
        RECT screen{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
        RECT work = screen;
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
        monitors.push_back({AreaInTwips(screen), AreaInTwips(work), DisplayDpi(), true});
    }
    return Desktop(std::move(monitors));
}

}  // namespace

Area AreaInTwips(const RECT& rect) {
    const double x = TwipsPerPixelX();
    const double y = TwipsPerPixelY();
    return {rect.left * x, rect.top * y, rect.right * x, rect.bottom * y};
}

const Desktop& SystemDesktop() {
    ScreenMetrics& metrics = KnownScreenMetrics();
    if (!metrics.desktopKnown) {
        metrics.desktop = MeasureDesktop();
        metrics.desktopKnown = true;
    }
    return metrics.desktop;
}

int SmallIconSize() {
    using MetricsForDpiFn = int(WINAPI*)(int, UINT);
    static const auto metricsForDpi =
        SystemFunction<MetricsForDpiFn>(L"user32.dll", "GetSystemMetricsForDpi");
    const int size = metricsForDpi ? metricsForDpi(SM_CXSMICON, static_cast<UINT>(DisplayDpi()))
                                   : ::GetSystemMetrics(SM_CXSMICON);
    return size > 0 ? size : 16;
}

double TwipsPerPixelX() {
    return 1440.0 / DisplayDpi();
}
double TwipsPerPixelY() {
    return 1440.0 / DisplayDpi();
}

void ForgetScreenMetrics() {
    KnownScreenMetrics().known = false;
    KnownScreenMetrics().desktopKnown = false;
}

double ScreenWidthTwips() {
    return CurrentScreenMetrics().width * TwipsPerPixelX();
}
double ScreenHeightTwips() {
    return CurrentScreenMetrics().height * TwipsPerPixelY();
}
int FreeAreaHeightPixels() {
    return CurrentScreenMetrics().freeAreaHeight;
}

}  // namespace tovalin::platform

#include "platform/screen_metrics_win32.h"

#include <windows.h>

#include <algorithm>

#include "platform/dpi_win32.h"
#include "platform/system_function_win32.h"

namespace tovalin::platform {

namespace {

struct ScreenMetrics {
    bool known = false;
    int width = 0;           // pixels
    int height = 0;          // pixels
    int freeAreaHeight = 0;  // pixels
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

}  // namespace

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

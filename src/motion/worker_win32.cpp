#include "motion/worker_win32.h"

#include "platform/screen_metrics_win32.h"

namespace tovalin::motion {

float SystemScreen::WidthTwips() const {
    return static_cast<float>(platform::ScreenWidthTwips());
}

float SystemScreen::HeightTwips() const {
    return static_cast<float>(platform::ScreenHeightTwips());
}

// A full-screen window's client height plus a caption: the height of the area the taskbar
// leaves free.
std::int32_t SystemScreen::FloorLineTwips() const {
    return static_cast<std::int32_t>(platform::FreeAreaHeightPixels() * platform::TwipsPerPixelY());
}

platform::WindowSpec frmWork::Description() {
    return {.className = L"tovalin.frmWork", .title = kName, .exStyle = WS_EX_TOOLWINDOW};
}

void frmWork::Form_Unload() {
    Timer1.SetEnabled(false);
    ledges_.reset();
}

void frmWork::OnTimer(UINT_PTR id) {
    if (id == Timer1.Id())
        Timer1_Timer();
}

LRESULT frmWork::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_DISPLAYCHANGE:
            Form_DisplayChange();
            return 0;
        case WM_SETTINGCHANGE:
            if (wp == SPI_SETWORKAREA)
                Form_DisplayChange();
            return Window::OnMessage(msg, wp, lp);
        default:
            return Window::OnMessage(msg, wp, lp);
    }
}

// A monitor removed, a resolution or a work area changed: the screen metrics are already
// forgotten, and the monitors are read again by the first question.
void frmWork::Form_DisplayChange() {
    if (scene_)
        scene_->BringBackStrays();
}

LedgeWatch* frmWork::WatchLedges(MoveMode mode) {
    if (mode != MoveMode::kOnWindows) {
        ledges_.reset();
        return nullptr;
    }
    if (!ledges_)
        ledges_ = std::make_unique<LedgeWatch>();
    ledges_->BeginTick();
    return ledges_.get();
}

// The motion never lets other handlers run, so the scene cannot change under the tick.
void frmWork::Timer1_Timer() {
    Timer1.SetEnabled(false);
    if (scene_) {
        const MoveMode mode = scene_->Mode();
        LedgeWatch* ledges = WatchLedges(mode);
        const platform::Desktop* desktop = scene_->Desktop();
        if (!desktop && ledges) {
            const platform::Monitor& primary = platform::SystemDesktop().Primary();
            if (primary_.Monitors().empty() || primary_.Primary() != primary)
                primary_ = platform::Desktop({primary});
            desktop = &primary_;
        }
        MotionTick(scene_->MotionWindows(), mode, SystemScreen(), desktop, ledges);
        scene_->FollowMonitors();
    }
    Timer1.SetEnabled(true);
}

}  // namespace tovalin::motion

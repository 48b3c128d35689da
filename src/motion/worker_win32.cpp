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
}

void frmWork::OnTimer(UINT_PTR id) {
    if (id == Timer1.Id())
        Timer1_Timer();
}

// The motion never lets other handlers run, so the scene cannot change under the tick.
void frmWork::Timer1_Timer() {
    Timer1.SetEnabled(false);
    if (scene_)
        MotionTick(scene_->MotionWindows(), scene_->Mode(), SystemScreen());
    Timer1.SetEnabled(true);
}

}  // namespace tovalin::motion

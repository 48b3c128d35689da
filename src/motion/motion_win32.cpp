#include "motion/motion_win32.h"

#include "app/globals.h"
#include "platform/system_win32.h"
#include "shape/scene_win32.h"

#include <vector>

namespace tovalin::motion {

float SystemScreen::WidthTwips() const {
    return static_cast<float>(platform::ScreenWidthTwips());
}

float SystemScreen::HeightTwips() const {
    return static_cast<float>(platform::ScreenHeightTwips());
}

std::int32_t SystemScreen::FloorLineTwips() const {
    const std::int32_t pixels =
        ::GetSystemMetrics(SM_CYFULLSCREEN) + ::GetSystemMetrics(SM_CYCAPTION);
    return static_cast<std::int32_t>(pixels * platform::TwipsPerPixelY());
}

void MotionTimerTick(platform::Timer& timer) {
    timer.SetEnabled(false);
    std::vector<MotionWindow*> views;
    views.reserve(shape::gViews.size());
    for (const auto& view : shape::gViews)
        views.push_back(view.get());
    const SystemScreen screen;
    MotionTick(views, app::gMove, screen);
    timer.SetEnabled(true);
}

}  // namespace tovalin::motion

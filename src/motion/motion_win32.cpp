#include "motion/motion_win32.h"

#include "app/globals.h"
#include "platform/system_win32.h"
#include "shape/scene_win32.h"

#include <algorithm>
#include <vector>

namespace tovalin::motion {

float SystemScreen::WidthTwips() const {
    return static_cast<float>(platform::ScreenWidthTwips());
}

float SystemScreen::HeightTwips() const {
    return static_cast<float>(platform::ScreenHeightTwips());
}

std::int32_t SystemScreen::FloorLineTwips() const {
    // A full-screen window's client height plus a caption is the height of the area the
    // taskbar leaves free. Some systems (Wine among them) report a client height taller than
    // the screen, which would sink the floor below the screen's bottom edge and hide the
    // characters' feet whenever they land: the floor never lies below the free area.
    std::int32_t pixels = ::GetSystemMetrics(SM_CYFULLSCREEN) + ::GetSystemMetrics(SM_CYCAPTION);
    RECT work{};
    if (::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
        pixels = std::min<std::int32_t>(pixels, work.bottom);
    return static_cast<std::int32_t>(pixels * platform::TwipsPerPixelY());
}

void MotionTimerTick(platform::Timer& timer) {
    timer.SetEnabled(false);
    // Kept between ticks so that a tick allocates nothing; the motion never lets other
    // handlers run, so the list cannot change under it.
    static std::vector<MotionWindow*> views;
    views.clear();
    for (const auto& view : shape::gViews)
        views.push_back(view.get());
    const SystemScreen screen;
    MotionTick(views, app::gMove, screen);
    timer.SetEnabled(true);
}

}  // namespace tovalin::motion

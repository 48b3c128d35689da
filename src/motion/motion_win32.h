// The motion timer's tick over the scene's windows, with the system's screen metrics.
#pragma once

#include "motion/motion.h"
#include "platform/window_win32.h"

namespace tovalin::motion {

// The primary screen as the motion routines see it, read afresh on every question.
class SystemScreen final : public Screen {
  public:
    float WidthTwips() const override;
    float HeightTwips() const override;
    std::int32_t FloorLineTwips() const override;
};

// One motion tick: the timer is off while every window not being dragged is moved.
void MotionTimerTick(platform::Timer& timer);

}  // namespace tovalin::motion

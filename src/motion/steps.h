// The pieces every mode's step is made of, shared by the one-screen routines and those that
// move over several monitors, so that both draw the same numbers in the same order.
#pragma once

#include "motion/chara.h"
#include "motion/motion.h"

namespace tovalin::motion::step {

struct Size {
    double w;
    double h;
};

double Draw();  // one draw of the shared generator
float Store(double value);
Size ReadSize(const MotionWindow& view);
void PlaceAtRecord(MotionWindow& view, const CharaInfo& c);

// The move of one tick, before the edges are looked at.
void StepStraight(CharaInfo& c);
bool StepFloating(CharaInfo& c);  // false while the character pauses
void StepBouncing(CharaInfo& c);

void MaybeStartPause(CharaInfo& c);
void Launch(CharaInfo& c, double floorLine, double h);
void ReverseSideways(CharaInfo& c);

}  // namespace tovalin::motion::step

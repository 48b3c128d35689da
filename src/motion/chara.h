// The motion record every character window carries.
#pragma once

#include <cstdint>

namespace tovalin::motion {

// One record per character window; a new window starts with every number 0 and the flag false.
// Positions and speeds are in twips, phases in radians, counts in motion ticks. The float fields
// are updated in double precision and stored back as 32-bit floats, so the record holds exactly
// what a 32-bit float can.
struct CharaInfo {
    std::int32_t nwait = 0;    // floating: ticks still to pause; 0 = moves this tick
    float xPos = 0.0f;         // left edge as the motion code keeps it
    float yPos = 0.0f;         // top edge as the motion code keeps it
    float xi = 0.0f;           // floating: horizontal phase step per tick
    float yi = 0.0f;           // floating: vertical phase step per tick
    float xis = 0.0f;          // floating: current horizontal phase
    float yis = 0.0f;          // floating: current vertical phase
    float xie = 0.0f;          // floating: horizontal phase at which new values are drawn
    float yie = 0.0f;          // floating: vertical phase at which new values are drawn
    float yVeloc = 0.0f;       // bouncing: vertical speed, positive downwards
    float byVeloc = 0.0f;      // unused; kept so the record keeps its full shape
    float xVelocInit = 0.0f;   // bouncing: horizontal speed, positive to the right
    float ixVelocInit = 0.0f;  // bouncing: speed drawn at the last launch, reversed at the edges
    std::int32_t yMax = 0;     // unused; kept so the record keeps its full shape
    std::int32_t rndm = 0;     // straight: direction, 0 right, 1 down, 2 left, 3 up
    std::int32_t rndx = 0;     // straight: ticks left before a new direction is drawn
    std::int32_t poi = 0;      // next animation frame (kept by the frame animation)
    bool bMoving = false;      // true while the user drags the window

    friend bool operator==(const CharaInfo&, const CharaInfo&) = default;
};

}  // namespace tovalin::motion

// Where a character of the "窓の上" mode stands. It lives beside the motion record, which keeps
// the shape every other mode and the frame animation know.
#pragma once

#include <cstdint>

namespace tovalin::motion {

struct Footing {
    enum class On { kNothing, kWindow, kGround };
    On on = On::kNothing;       // kNothing: falling
    std::uintptr_t window = 0;  // the window stood on
    // That window's left edge and width when last seen, twips: a window that moved carries the
    // character along; one resized leaves it where it stands.
    double windowLeft = 0.0;
    double windowWidth = 0.0;
    double fallSpeed = 0.0;  // twips per tick, downwards
    int direction = 1;       // +1 walks right, -1 left
    // Where the mode last put the record. A record found elsewhere was moved by another mode,
    // and the character falls from there.
    bool placed = false;
    float placedLeft = 0.0f;
    float placedTop = 0.0f;
    bool dropped = false;  // the user let go of it: it falls from where the window now is

    void Drop() { dropped = true; }
};

}  // namespace tovalin::motion

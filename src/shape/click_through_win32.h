// Clicks that go through the characters to whatever is below them: the characters keep their
// outline, picture and motion, but the mouse no longer finds them, so they cannot be dragged.
#pragma once

#include <windows.h>

namespace tovalin::shape {

// For every character now and for every one made later, until it is turned off again.
void UseClickThrough(bool on);
bool ClickThrough();

// Gives a newly made character window the state in force.
void TakeClickThrough(HWND hwnd);

}  // namespace tovalin::shape

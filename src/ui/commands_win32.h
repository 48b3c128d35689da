// The popup menu's commands: settings, favourites, version dialog and exit.
#pragma once

namespace tovalin::ui {

void mCountNum_Click(int index);
void mLocation_Click(int index);
void mMoving_Click(int index);
void mDousaSpeed_Click(int index);
void mokiniiri_Click(int index);
void mver_Click();
// The exit command: closes the windows in order, removes the tray icon and the unpacked
// files, and ends the process.
[[noreturn]] void ExitProgram();

}  // namespace tovalin::ui

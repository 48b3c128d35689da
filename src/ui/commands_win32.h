// The popup menu's commands: settings, favourites, version dialog and exit.
#pragma once

#include <string>

namespace tovalin::ui {

void mCountNum_Click(int index);
void mLocation_Click(int index);
void mMoving_Click(int index);
void mDousaSpeed_Click(int index);
void mokiniiri_Click(int index);
// At start, before the scene is built: the favourite named `caption` as if it had been chosen,
// its frames in place of the package's. False, with nothing changed and nothing said, when no
// entry has that caption or its folder is missing or gives no frame.
bool StartWithFavourite(const std::wstring& caption);
void mver_Click();
// The exit command: closes the windows in order, removes the tray icon and the unpacked
// files, and ends the process.
[[noreturn]] void ExitProgram();

}  // namespace tovalin::ui

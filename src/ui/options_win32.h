// The options in force: read from the settings file at start, changed from the menu.
#pragma once

#include "ui/options.h"

namespace tovalin::ui {

// Reads every option from the program's settings file and applies it.
void LoadOptions();

bool OptionOn(Option option);

// The menu's choice: applies it for this run and keeps it in the settings file. When the file
// cannot be written a message says so; the choice still holds until the program ends.
void ChooseOption(Option option, bool on);

}  // namespace tovalin::ui

// "前回の設定で始める": the settings chosen from the menu are kept in the program's settings file
// and replace the package header's at the next start.
#pragma once

#include "ui/last_choices.h"

#include <string>

namespace tovalin::ui {

// While the option is on, the word a menu choice put in force joins the record; a message says
// so when the file cannot be written.
void RecordLastChoice(Choice choice, const std::wstring& word);

// The four words in force, all at once; false when the file could not be written.
bool RecordLastChoices();

// At start, once the header's words are in force and the options read: with the option on, each
// recorded word that is a settings word replaces the header's.
void UseLastWords();

// At start, with the option on: the frames of the favourite the record names, as if it had been
// chosen. False, with nothing loaded and nothing said, when the option is off or the folder is
// missing or gives no frame: the package's own frames are to stand.
bool StartWithLastFavourite();

}  // namespace tovalin::ui

// The start-up sequence: the load handler of the hidden worker window frmWork. It is the one
// place that knows every part of the program.
#pragma once

namespace tovalin::app {

// Runs the whole start-up in its fixed order: the package check, the unpacking, the version
// dialog, the tray icon, the frames and the scene. The entry point calls it right after it has
// created frmWork. A failure shows its reason, removes what this run made and ends the process.
void Form_Load();

}  // namespace tovalin::app

// Ending the program: retiring unloaded windows safely, deleting the unpacked files, and the
// fatal exit that cleans up before the process ends.
#pragma once

#include "platform/window_win32.h"

#include <memory>
#include <string_view>

namespace tovalin::app {

// Keeps an unloaded window object alive until no handler can still be running on it; the main
// message loop frees retired windows between messages.
void RetireWindow(std::unique_ptr<platform::Window> window);
void FreeRetiredWindows();

// Deletes every unpacked file of the package from the temporary folder, skipping what cannot be
// deleted. Lets pending messages run between files.
void DeleteUnpackedFiles();

// Registered by the tray host so that every way out removes the tray icon.
void SetTrayRemoval(void (*remove)());
void RemoveTrayIcon();

// Shows the message under the application's title, removes the tray icon and the unpacked files,
// and ends the process.
[[noreturn]] void FatalExit(std::wstring_view message);

}  // namespace tovalin::app

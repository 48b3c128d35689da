// System services the forms use: the message pump, message boxes, screen metrics in twips,
// files and folders, and a guard that keeps exceptions out of system callbacks.
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovalin::platform {

inline constexpr const wchar_t* kAppTitle = L"TOVALIN+";

// Shows an OK message box owned by nobody; flags add an icon (MB_ICONERROR, ...) when wanted.
void ShowMessage(std::wstring_view text, std::wstring_view caption = kAppTitle, UINT flags = 0);

// Lets pending window messages run, like a toolkit's "do events", except user input, which is
// left for the loop that owns it. Other handlers run inside the caller: anything may have been
// unloaded when it returns.
void PumpPendingMessages();

// Ends the process at once: no further handler runs.
[[noreturn]] void EndProcessNow(UINT exitCode = 0);

// Work every way out of the program must do (removing the tray icon, deleting the unpacked
// files). Registered once by the start-up sequence; FatalExit runs them in that order.
void AtFatalExit(void (*cleanup)());

// Shows the message under the application's title with the error icon, runs the registered
// clean-up and ends the process with exit code 1. No timer starts new work in the meantime.
[[noreturn]] void FatalExit(std::wstring_view message);

void ReportFailure(const char* where, const char* what) noexcept;

// Runs a callback body; an escaping exception is reported in a message box instead of unwinding
// into the system, which would end the process. Returns false when the body threw.
template <typename Body>
bool Guarded(const char* where, Body&& body) noexcept {
    try {
        body();
        return true;
    } catch (const std::exception& e) {
        ReportFailure(where, e.what());
    } catch (...) {
        ReportFailure(where, "unknown error");
    }
    return false;
}

// Runs a step whose failure is to be ignored: the next step runs whatever happened here.
template <typename Body>
void Ignoring(Body&& body) noexcept {
    try {
        body();
    } catch (...) {
    }
}

// A function of a system library the program does not import, looked up by name: the functions
// of newer systems, and libraries whose loading would slow every start for a rare use. Null
// when the library or the function is missing.
void* SystemFunctionAddress(const wchar_t* module, const char* name);
template <typename Function>
Function SystemFunction(const wchar_t* module, const char* name) {
    return reinterpret_cast<Function>(SystemFunctionAddress(module, name));
}

// Loads the common controls (version 6, as the manifest asks) for the dialogs that use them.
// Done when the first such dialog opens: loading the library costs more than everything else a
// start does.
void LoadCommonControls();

// The program's resolution awareness: per monitor (v2), or the system's resolution where that
// is all the system offers. Called once, before the first window.
void DeclareDpiAwareness();

// The primary display's dots per inch as this program sees it (96 for a program the system
// scales), and the whole-number scale frames are drawn at. SetDisplayDpi records a change.
int DisplayDpi();
void SetDisplayDpi(int dpi);
int DisplayScale();

// The primary display's dots per inch as the system reports it now.
int QueryPrimaryDpi();
// The resolution the session started with, which system metrics and fonts are given at.
int ScreenDcDpi();
// True when the window lies (mostly) on the primary display.
bool OnPrimaryDisplay(HWND hwnd);

// The side of a small icon (the tray's) at the display's resolution: 16 pixels at 96 dpi.
int SmallIconSize();

// Screen metrics of the primary display; twips per pixel is 1440 / its dots per inch.
double TwipsPerPixelX();
double TwipsPerPixelY();
double ScreenWidthTwips();
double ScreenHeightTwips();
// The height of the area the taskbar leaves free, as a full-screen window's client height plus a
// caption, in pixels, never below the work area's bottom edge.
int FreeAreaHeightPixels();

// The metrics above are read from the system once and kept until the system announces a change
// of the display or of a setting (WM_DISPLAYCHANGE, WM_SETTINGCHANGE, which every top-level
// window receives): the motion asks for them for every character on every tick, and each
// question is a round trip to the server that hardly ever finds anything new.
void ForgetScreenMetrics();

// Files.
std::wstring ModulePath();  // the running executable as the system reports it
// The running executable as the player rebuilds its path: the folder, the base name and ".exe",
// whatever the file is really called.
std::wstring ExePath();
std::wstring TempFolderPath();  // the user's temporary folder, ending in a backslash
bool FileExists(const std::wstring& path);
std::optional<std::uint64_t> FileLength(const std::wstring& path);
bool DeleteFileNow(const std::wstring& path);

// The files of a folder that match any of the ';'-separated wildcard patterns, ordered by
// name as a file list box orders them (case-insensitively), without the folder.
std::vector<std::wstring> ListFolder(const std::wstring& folder, std::wstring_view patterns);

// The last system error as text, for messages.
std::wstring LastErrorText(DWORD error);

}  // namespace tovalin::platform

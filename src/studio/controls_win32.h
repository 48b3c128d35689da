// The studio's controls: their ids (the end-to-end tests drive them by these), making and
// placing them at the window's resolution, its font, and its messages to the user.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/handles_win32.h"
#include "studio/layout.h"

namespace tovalin::studio {

inline constexpr const wchar_t* kStudioTitle = L"TOVALIN+ スタジオ";

enum ControlId : int {
    kIdFrameList = 1001,
    kIdAdd = 1002,
    kIdUp = 1003,
    kIdDown = 1004,
    kIdRemove = 1005,
    kIdChooseIcon = 1011,
    kIdClearIcon = 1012,
    kIdIcon = 1013,
    kIdIconNote = 1014,
    kIdCount = 1021,
    kIdMove = 1022,
    kIdLocation = 1023,
    kIdSpeed = 1024,
    kIdVersion = 1025,
    kIdCopyright = 1026,
    kIdTextNote = 1027,
    kIdFramesLabel = 1031,
    kIdTry = 1041,
    kIdCreate = 1042,
    kIdPreview = 1051,
};

// The resolution the window is drawn at: its monitor's where the system tells it per window,
// otherwise the primary display's.
int WindowDpi(HWND hwnd);

// The outer size of a window whose client area is `client` at `dpi`.
SIZE OuterSize(SIZE client, DWORD style, DWORD exStyle, int dpi);

// The system's message font at `dpi`.
platform::UniqueHfont MakeUiFont(int dpi);

// A child control at its part's place; id 0 for a label nobody refers to.
HWND MakeControl(HWND parent, const wchar_t* className, std::wstring_view text, DWORD style, int id,
                 Part part, int dpi, HFONT font, DWORD exStyle = 0);

// Moves the control to its part's place at `dpi`. A drop-down list's box is its closed height;
// the list it drops is `listRows` times that.
void Place(HWND control, Part part, int dpi, int listRows = 1);

std::wstring TextOf(HWND control);

// Message boxes owned by the studio's window, under its title.
void ShowError(HWND owner, std::wstring_view text);
void ShowInfo(HWND owner, std::wstring_view text);

}  // namespace tovalin::studio

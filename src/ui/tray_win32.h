// The tray host: a hidden window that owns the tray icon and receives its notifications.
#pragma once

#include "platform/handles_win32.h"

#include <shellapi.h>
#include "platform/window_win32.h"

#include <string>

namespace tovalin::ui {

inline constexpr UINT kTrayIconId = 349;
inline constexpr UINT kTrayCallback = WM_MOUSEMOVE;      // notifications arrive as mouse moves
inline constexpr UINT kTrayOpenMenuCode = WM_RBUTTONUP;  // 517

// The notification record in its first ANSI form, 88 bytes in a 32-bit build (the system
// headers only declare the later, longer one).
struct NotifyIconRecord {
    DWORD cbSize;
    HWND hWnd;
    UINT uID;
    UINT uFlags;
    UINT uCallbackMessage;
    HICON hIcon;
    CHAR szTip[64];
};

class frmControl final : public platform::Window {
  public:
    // Created on first touch; the load step adds the tray icon.
    static frmControl& Get();
    static frmControl* IfLoaded();
    // Closes the host: the unload step removes the tray icon and deletes the unpacked files.
    static void Unload();

    // Makes the picture at path the host's window icon.
    void SetWindowIcon(const std::wstring& path);

  protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

  private:
    bool Load();
    void Form_Load();
    void Form_Unload();
    void Form_MouseMove(LPARAM lp);
    void AddTrayIcon();
    void RemoveTrayIcon();

    platform::UniqueHicon windowIcon_;
    NotifyIconRecord record_{};
    bool iconAdded_ = false;
    UINT taskbarCreated_ = 0;
};

}  // namespace tovalin::ui

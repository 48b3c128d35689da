// The tray host: a hidden window that owns the tray icon and receives its notifications.
#pragma once

#include "platform/forms_win32.h"
#include "platform/handles_win32.h"
#include "ui/away_win32.h"

#include <shellapi.h>

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

class frmControl final : public platform::Form<frmControl> {
  public:
    static constexpr const wchar_t* kName = L"frmControl";
    static platform::WindowSpec Description();

    // Makes the picture at path the host's window icon.
    void SetWindowIcon(const std::wstring& path);

  protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void OnTimer(UINT_PTR id) override;

  private:
    friend class platform::Form<frmControl>;
    frmControl();
    // The load step adds the tray icon; the unload step removes it and deletes the unpacked
    // files.
    void Form_Load();
    void Form_Unload();
    void Form_MouseMove(LPARAM lp);
    void AddTrayIcon();

    AwayWatch away_{*this};
    platform::UniqueHicon windowIcon_;
    platform::UniqueHicon recordIcon_;  // the icon record_ names, once the window took another
    NotifyIconRecord record_{};
    UINT taskbarCreated_ = 0;
};

// Removes the tray icon if the host has added one: for the ways out that skip its unload step.
void RemoveTrayIcon();

}  // namespace tovalin::ui

// The studio's window: the frame list, the preview, the icon and the settings side by side,
// and the commands that add, order and remove frames, choose the icon, make the character's
// executable and try the character out.
#pragma once

#include <windows.h>

#include <filesystem>
#include <vector>

#include "platform/forms_win32.h"
#include "platform/handles_win32.h"
#include "studio/actions_win32.h"
#include "studio/frame_list_view_win32.h"
#include "studio/icon_panel_win32.h"
#include "studio/preview_win32.h"
#include "studio/project.h"
#include "studio/settings_panel_win32.h"

namespace tovalin::studio {

class frmStudio final : public platform::Form<frmStudio> {
  public:
    static constexpr const wchar_t* kName = L"frmStudio";
    static platform::WindowSpec Description();

    // Shows the window; the files and folders given are added as frames once it is on screen
    // (the last one the icon when it is an ICO).
    void Open(std::vector<std::filesystem::path> paths, int show);

  protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void OnTimer(UINT_PTR id) override;

  private:
    friend class platform::Form<frmStudio>;
    frmStudio();
    void Form_Load();
    void Form_Unload();

    void CreateControls();
    void PlaceWindow();
    void OnDpiChanged(int dpi, const RECT& suggested);
    void OnCommand(int id, int code);
    void OnDrop(HDROP drop);
    LRESULT OnStaticColour(HDC dc, HWND control);
    void Refresh(int selected);
    void EnableMoves();

    void AddPaths(const std::vector<std::filesystem::path>& paths, LastIco lastIco);
    void AddFrames();
    void MoveSelected(bool up);
    void RemoveSelected();
    void ChooseIcon();
    void ClearIcon();
    void SettingsChanged();
    bool ReadyToMake();
    void MakeExecutable();
    void TryOut();

    Project project_;
    FrameListView list_;
    Preview preview_;
    SettingsPanel settings_;
    IconPanel icon_;
    TrialRuns trials_;
    platform::Timer reaper_;
    platform::UniqueHfont font_;
    std::vector<std::filesystem::path> pending_;
    HWND framesLabel_ = nullptr, dropHint_ = nullptr, previewLabel_ = nullptr;
    HWND add_ = nullptr, up_ = nullptr, down_ = nullptr, remove_ = nullptr;
    HWND try_ = nullptr, create_ = nullptr;
    int dpi_ = kBaseDpi;
};

}  // namespace tovalin::studio

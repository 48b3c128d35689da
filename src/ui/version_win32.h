// The version dialog: the package icon, the program's name, the package's version and
// copyright texts, and an OK button. Modal, centred on the screen every time it is created.
#pragma once

#include "platform/forms_win32.h"
#include "platform/handles_win32.h"

#include <string>

namespace tovalin::ui {

class frm_Version final : public platform::Form<frm_Version> {
  public:
    static constexpr const wchar_t* kName = L"frm_Version";
    // Nobody sees the dialog before "バージョン情報" is chosen: its window is made, filled and
    // centred then, as every later opening makes it again.
    static constexpr bool kWindowWhenShown = true;
    static platform::WindowSpec Description();

    // The package's icon (Image1 and the window's), the program's name and the package's
    // version and copyright texts (LNAME, LVER, LCPY). Start-up fills them once the characters
    // stand; a dialog chosen from the tray before that fills itself first.
    void FillFromPackage();

    // Shows the dialog and returns when it has been closed. A dialog closed before is made
    // again, with the same contents, and centred again.
    void ShowModal();

  protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void OnPaint(HDC dc, const RECT& client) override;

  private:
    friend class platform::Form<frm_Version>;
    frm_Version() = default;
    // Positions the dialog; runs whenever its window is created.
    void Form_Load();
    void Form_Unload();
    void CreateControls();
    void LoadImagePicture();
    void SetImagePicture(const std::wstring& iconPath);
    void SetWindowIcon(const std::wstring& iconPath);
    void SetTexts(const std::wstring& name, const std::wstring& version,
                  const std::wstring& copyright);
    void Command1_Click();

    std::wstring imagePath_;
    int imageSize_ = 0;
    int layoutDpi_ = 0;
    platform::UniqueHicon image_;
    platform::UniqueHicon windowIcon_;
    platform::UniqueHfont nameFont_;
    platform::UniqueHfont textFont_;
    std::wstring name_, version_, copyright_;
    bool closed_ = false;
    bool filled_ = false;
};

}  // namespace tovalin::ui

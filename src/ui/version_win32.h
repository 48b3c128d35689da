// The version dialog: the package icon, the program's name, the package's version and
// copyright texts, and an OK button. Modal, centred on the screen every time it is created.
#pragma once

#include "platform/handles_win32.h"
#include "platform/window_win32.h"

#include <string>

namespace tovalin::ui {

class frm_Version final : public platform::Window {
  public:
    static frm_Version& Get();
    static frm_Version* IfLoaded();
    static void Unload();

    void SetImagePicture(const std::wstring& iconPath);  // Image1
    void SetWindowIcon(const std::wstring& iconPath);
    void SetTexts(const std::wstring& name, const std::wstring& version,
                  const std::wstring& copyright);  // LNAME, LVER, LCPY

    // Shows the dialog and returns when it has been closed.
    void ShowModal();

  protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

  private:
    bool EnsureWindow();
    void Form_Load();
    void CreateControls();
    void Command1_Click();
    void OnPaint();

    platform::UniqueHicon image_;
    platform::UniqueHicon windowIcon_;
    platform::UniqueHfont nameFont_;
    platform::UniqueHfont textFont_;
    std::wstring name_, version_, copyright_;
    bool closed_ = false;
};

}  // namespace tovalin::ui

// The menu holder: a window that is never shown and owns the tray icon's popup menu tree.
#pragma once

#include "platform/forms_win32.h"
#include "platform/handles_win32.h"
#include "shape/scene.h"

#include <string>

namespace tovalin::ui {

// The favourites entry supplied with the build; it is also the favourite folder's name.
inline constexpr const wchar_t* kFavouriteCaption = L"ぷかり";

enum class MenuArray { mCountNum, mLocation, mMoving, mDousaSpeed, mokiniiri };

class frmMenu final : public platform::Form<frmMenu> {
  public:
    static constexpr const wchar_t* kName = L"frmMenu";
    static platform::WindowSpec Description();

    // Clears every check mark of the array, then checks element index (none when out of range).
    void CheckOnly(MenuArray array, int index);
    void SetChecked(MenuArray array, int index, bool checked);
    int Count(MenuArray array) const;
    std::wstring Caption(MenuArray array, int index) const;

    // The four settings groups' check marks, as a scene set-up has just applied them.
    void CheckSceneSettings(const shape::SceneSettings& settings);

    // Pops up `mpop` at the cursor and runs the chosen item's click handler.
    void PopupMpop();

  private:
    friend class platform::Form<frmMenu>;
    frmMenu() = default;
    void Form_Load();
    void BuildTree();
    void CheckOptions();
    void RunCommand(UINT id);

    platform::UniqueHmenu mpop_;
};

}  // namespace tovalin::ui

// The settings the header carries, as choice boxes of the settings words and two text boxes,
// with a note that says at once when a text cannot go into the header.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "studio/project.h"

namespace tovalin::studio {

class SettingsPanel {
  public:
    void Create(HWND parent, int dpi, HFONT font, const SettingsChoice& choice);
    void Relayout(int dpi);
    // The settings as the controls hold them now.
    SettingsChoice Choice() const;
    // Shows in the note why a text cannot be used, or nothing; returns that reason.
    std::optional<std::string> CheckTexts();
    // True for a control of this panel whose change alters the settings.
    static bool Owns(int id);

  private:
    HWND parent_ = nullptr;
    HWND count_ = nullptr, move_ = nullptr, location_ = nullptr, speed_ = nullptr;
    HWND version_ = nullptr, copyright_ = nullptr, note_ = nullptr;
    HWND labels_[7] = {};
};

}  // namespace tovalin::studio

// The character's icon: the ICO file chosen, or, while none is, the one the packer will make
// from the first frame; shown as Explorer will show the executable.
#pragma once

#include <windows.h>

#include "platform/handles_win32.h"
#include "studio/project.h"

namespace tovalin::studio {

class IconPanel {
  public:
    void Create(HWND parent, int dpi, HFONT font);
    void Relayout(const Project& project, int dpi);
    void Show(const Project& project);

  private:
    HWND label_ = nullptr, picture_ = nullptr, choose_ = nullptr, clear_ = nullptr;
    HWND note_ = nullptr;
    platform::UniqueHicon icon_;
    int dpi_ = 96;
};

}  // namespace tovalin::studio

// The frames as a list in animation order: number, file and size, each with a thumbnail of
// what the player will show of it.
#pragma once

#include <windows.h>

#include "platform/handles_win32.h"
#include "studio/frame_list.h"
#include "studio/layout.h"

namespace tovalin::studio {

class FrameListView {
  public:
    void Create(HWND parent, int dpi, HFONT font);
    // Places the list for `dpi` and shows the frames again with thumbnails of that resolution.
    void Relayout(const FrameList& frames, int dpi);
    // Shows the frames, the one at `selected` (when there is one) selected and in view.
    void Show(const FrameList& frames, int selected);
    // The selected frame's index, or -1.
    int Selected() const;
    HWND hwnd() const { return list_; }

  private:
    void SetColumns();
    void MakeThumbnails(const FrameList& frames);

    HWND list_ = nullptr;
    platform::UniqueImageList thumbnails_;
    int dpi_ = kBaseDpi;
};

}  // namespace tovalin::studio

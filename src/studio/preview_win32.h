// The live preview: the frames in turn at the chosen speed, each cut to its outline as the
// player will show it, over a checkerboard that shows what is cut away.
#pragma once

#include <windows.h>

#include <vector>

#include "platform/handles_win32.h"
#include "platform/window_win32.h"
#include "studio/frame_list.h"
#include "studio/layout.h"

namespace tovalin::studio {

class Preview final : public platform::Window {
  public:
    Preview();
    void Create(HWND parent, int dpi, HFONT font);
    void Relayout(int dpi, HFONT font);
    // Shows these frames from the first; the animation runs while there are two or more.
    void SetFrames(const FrameList& frames);
    void SetInterval(unsigned milliseconds);
    // The frame on show (from 0), for the tests' look at the window.
    std::size_t Current() const { return current_; }

  protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void OnTimer(UINT_PTR id) override;
    void OnPaint(HDC dc, const RECT& client) override;

  private:
    void Fit();
    void Restart();
    void DrawCheckerboard(HDC dc, const RECT& client) const;
    void DrawFrame(HDC dc) const;

    std::vector<Outline> frames_;
    // Each frame's outline at the preview's scale and place; null for a frame the player shows
    // nothing of.
    std::vector<platform::UniqueHrgn> outlines_;
    PreviewFit fit_;
    std::size_t current_ = 0;
    int dpi_ = kBaseDpi;
    HFONT font_ = nullptr;
    platform::Timer timer_;
};

}  // namespace tovalin::studio

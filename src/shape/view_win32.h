// The character window: borderless, not in the taskbar, cut to its frame's outline, animated by
// its own timer and carrying its motion record.
#pragma once

#include "motion/chara.h"
#include "motion/motion.h"
#include "platform/forms_win32.h"
#include "platform/handles_win32.h"
#include "platform/picture_win32.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace tovalin::shape {

// One frame's display picture, shared so that a window may keep painting the picture it shows
// even after the frame store was discarded. The pixels stay as the file holds them; the bitmap
// shows them at the display scale it was made for.
struct Picture {
    platform::DecodedPicture pixels;
    int scale = 1;
    platform::UniqueHbitmap bitmap;  // pixels.width × scale by pixels.height × scale
};
using PicturePtr = std::shared_ptr<const Picture>;

class frmView final : public platform::Form<frmView>, public motion::MotionWindow {
  public:
    static constexpr const wchar_t* kName = L"frmView";
    static platform::WindowSpec Description();

    frmView();
    ~frmView() override;

    // The hidden default instance that holds the frame picture list; created on first touch.
    static frmView& Default() { return Get(); }
    static frmView* DefaultIfLoaded() { return IfLoaded(); }
    // Discards the default instance and with it every frame picture.
    static void UnloadDefault() { Form::Unload(); }

    // Creates this character's (hidden) window; throws when the system refuses.
    void Load();
    // Stops the animation and destroys this character's window.
    void Unload();

    // The frame picture list (default instance only): element k is frame k's picture.
    std::vector<PicturePtr> Pic;

    motion::CharaInfo CharaInfo{};
    platform::Timer Timer1{*this, 1};

    void SetBackgroundPicture(PicturePtr picture);

    // Which stored outline the window has now: the shape number of its frame in one set of
    // frames, at one display scale. shape -1: none yet.
    struct Outline {
        std::int32_t shape = -1;
        std::uint32_t frameSet = 0;
        int scale = 0;
        friend bool operator==(const Outline&, const Outline&) = default;
    };
    const Outline& ShownOutline() const { return outline_; }

    // The whole-number scale this character is drawn at: the display's, or that of the monitor
    // it stands on where the monitors differ.
    int Scale() const;
    // True while the character is drawn at a scale other than the display's.
    bool HasOwnScale() const;
    // Draws the character at another scale from now on: its window takes the frames' size at
    // that scale, its top left corner staying where it is.
    void UseScale(int scale);
    void SetShownOutline(const Outline& outline) { outline_ = outline; }

    // MotionWindow
    motion::CharaInfo& Info() override { return CharaInfo; }
    double LeftTwips() const override { return Window::LeftTwips(); }
    double TopTwips() const override { return Window::TopTwips(); }
    double WidthTwips() const override { return Window::WidthTwips(); }
    double HeightTwips() const override { return Window::HeightTwips(); }
    void MoveTwips(double left, double top) override { Window::MoveTwips(left, top); }

  protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;
    void OnTimer(UINT_PTR id) override;
    void OnPaint(HDC dc, const RECT& client) override;

  private:
    friend class platform::Form<frmView>;
    void Form_Unload();
    void Timer1_Timer();
    void Form_MouseDown(int button);
    LRESULT Form_CaptionPress(LPARAM lp);
    void Form_PosChanging(WINDOWPOS& pos);
    void Form_DpiChanged(int dpi);

    PicturePtr background_;
    Outline outline_;
    int scale_ = 0;  // 0: the display's
};

// Shapes the window to frame k and shows its picture. Lets pending messages run first.
void ShowFrame(std::int32_t k, frmView& view);

}  // namespace tovalin::shape

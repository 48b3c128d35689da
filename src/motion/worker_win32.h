// The hidden worker window, created first and never shown. Its Timer1 is the motion timer: each
// firing runs one motion tick over the windows of the scene.
#pragma once

#include "motion/ledges_win32.h"
#include "motion/motion.h"
#include "platform/forms_win32.h"

#include <memory>
#include <span>

namespace tovalin::motion {

// What the motion tick walks: the scene's windows in order, and the mode in force.
class MotionScene {
  public:
    virtual std::span<MotionWindow* const> MotionWindows() = 0;
    virtual MoveMode Mode() const = 0;
    // The monitors the characters move over; null: the primary screen alone.
    virtual const platform::Desktop* Desktop() const = 0;
    // The monitors changed: characters none of them shows come back.
    virtual void BringBackStrays() = 0;
    // After each tick: every character takes the scale of the monitor it is on now.
    virtual void FollowMonitors() = 0;

  protected:
    ~MotionScene() = default;
};

// The primary screen as the motion routines see it, read afresh on every question.
class SystemScreen final : public Screen {
  public:
    float WidthTwips() const override;
    float HeightTwips() const override;
    std::int32_t FloorLineTwips() const override;
};

class frmWork final : public platform::Form<frmWork> {
  public:
    static constexpr const wchar_t* kName = L"frmWork";
    static platform::WindowSpec Description();

    platform::Timer Timer1{*this, 1};  // the motion timer

    // The scene whose windows the motion tick moves; null: the tick moves nothing.
    void SetMotionScene(MotionScene* scene) { scene_ = scene; }

  protected:
    void OnTimer(UINT_PTR id) override;
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override;

  private:
    friend class platform::Form<frmWork>;
    frmWork() = default;
    void Form_Unload();
    void Timer1_Timer();
    void Form_DisplayChange();
    // The user's windows while "窓の上" is in force; other modes do not pay for watching them.
    LedgeWatch* WatchLedges(MoveMode mode);

    MotionScene* scene_ = nullptr;
    std::unique_ptr<LedgeWatch> ledges_;
    platform::Desktop primary_;  // the primary alone, for "窓の上" when that is all there is
};

}  // namespace tovalin::motion

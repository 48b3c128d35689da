// Watches for the times nobody sees the characters: a full-screen program in front (a
// foreground-change hook plus a check twice a second), the session locked (session-change
// notifications) and the display off (the console display-state power setting). The scene is
// told (shape::SetAway); it hides or pauses the characters.
#pragma once

#include "platform/window_win32.h"

namespace tovalin::ui {

class AwayWatch {
  public:
    // host: a top-level window of this program (notifications do not reach message-only ones).
    explicit AwayWatch(platform::Window& host);
    ~AwayWatch();
    AwayWatch(const AwayWatch&) = delete;
    AwayWatch& operator=(const AwayWatch&) = delete;

    void Start();
    // The host routes these here; true when the message was one of the watch's.
    bool OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    bool OnTimer(UINT_PTR id);

    // Looks at the foreground window now.
    void CheckFullScreen();

  private:
    void SetAsleep(bool locked, bool displayOff);

    platform::Window& host_;
    platform::Timer check_;
    HWINEVENTHOOK hook_ = nullptr;
    HPOWERNOTIFY power_ = nullptr;
    bool sessionNotified_ = false;
    bool locked_ = false;
    bool displayOff_ = false;
};

}  // namespace tovalin::ui

// The thin windowing layer the forms are built on: a window with one procedure thunk, timers
// with an interval and an on/off switch, and positions in twips.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace tovalin::platform {

class Timer;

// Liveness of a window. A handler that lets other handlers run (a message pump, a modal loop)
// takes a Watch first and checks it afterwards: once the window is destroyed (or its object
// freed) the watch reports it, and the handler must not touch the object again.
class Watch {
  public:
    explicit Watch(std::weak_ptr<void> token) : token_(std::move(token)) {}
    bool Alive() const { return !token_.expired(); }

  private:
    std::weak_ptr<void> token_;
};

// Who paints a window's client area: the system alone; the window's OnPaint over the background
// the system erased; or OnPaint, every pixel, with no erasing first, which would show the bare
// background for a moment before every new picture.
enum class Painting { kSystem, kOverBackground, kWhole };

struct WindowSpec {
    const wchar_t* className = L"";
    std::wstring title{};
    DWORD style = WS_POPUP;
    DWORD exStyle = 0;
    HICON classIcon = nullptr;
    HBRUSH background = nullptr;  // null: the system erases nothing
    Painting painting = Painting::kSystem;
};

class Window {
  public:
    Window();
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND hwnd() const { return hwnd_; }
    Watch MakeWatch() const { return Watch(life_); }

    // Destroys the window now; the object stays valid (but windowless) until its owner frees it.
    void DestroyNow();

    void Show(bool visible);

    // Twips are 1/1440 inch; positions become whole pixels as TwipsToPixels (units.h) says.
    void MoveTwips(double left, double top);
    void SizeTwips(double width, double height);
    double LeftTwips() const;
    double TopTwips() const;
    double WidthTwips() const;
    double HeightTwips() const;

  protected:
    bool Create(const WindowSpec& desc, HWND parent = nullptr);

    // Routes a message to a named handler; the default lets the system handle it.
    virtual LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp);
    // A timer of this window fired; id is the Timer's id.
    virtual void OnTimer(UINT_PTR id);
    // Paints the client area, `client`, on `dc` between BeginPaint and EndPaint; called for a
    // window whose description does not leave painting to the system.
    virtual void OnPaint(HDC dc, const RECT& client);

  private:
    friend class Timer;
    static LRESULT CALLBACK Thunk(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Dispatch(UINT msg, WPARAM wp, LPARAM lp);
    void PaintClient();
    bool TimerFires(UINT_PTR id);
    RECT WindowRect() const;
    void MoveToPixels(int x, int y, const RECT& now);

    HWND hwnd_ = nullptr;
    Painting painting_ = Painting::kSystem;
    std::shared_ptr<void> life_;
    std::vector<Timer*> timers_;
};

// From now on no timer of any window fires its handler: the program is on its way out and
// must not start new work behind a final message.
void SuppressAllTimers();

// While nobody watches the characters (the session locked, the display off, a full-screen
// program in front), the timers that run them are paused: none fires until they resume, and
// each then starts a full interval. A timer keeps its interval and on/off switch meanwhile.
void PauseTimers(bool paused);

// A window timer: fires OnTimer(id) of its window every Interval ms while enabled. A timer made
// with kRunsWhilePaused keeps running while the others are paused.
class Timer {
  public:
    enum Pausing { kPausable, kRunsWhilePaused };
    Timer(Window& owner, UINT_PTR id, Pausing pausing = kPausable);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    void SetInterval(UINT ms);
    void SetEnabled(bool on);
    UINT Interval() const { return interval_; }
    bool Enabled() const { return enabled_; }
    UINT_PTR Id() const { return id_; }

  private:
    friend class Window;
    friend void PauseTimers(bool paused);
    void Apply();
    bool TakeFiring();
    void Stop();

    Window& owner_;
    UINT_PTR id_;
    Pausing pausing_;
    UINT interval_ = 0;
    bool enabled_ = true;
    bool running_ = false;
};

}  // namespace tovalin::platform

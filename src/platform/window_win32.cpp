#include "platform/window_win32.h"

#include "platform/units.h"
#include "platform/counters.h"
#include "platform/guard_win32.h"
#include "platform/handles_win32.h"
#include "platform/screen_metrics_win32.h"

#include <cmath>
#include <vector>

namespace tovalin::platform {

namespace {
bool gTimersSuppressed = false;
}  // namespace

void SuppressAllTimers() {
    gTimersSuppressed = true;
}

Window::Window() : life_(std::make_shared<int>(0)) {}

Window::~Window() {
    life_.reset();
    DestroyNow();
}

bool Window::Create(const WindowSpec& desc, HWND parent) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW existing{};
    existing.cbSize = sizeof(existing);
    if (!::GetClassInfoExW(instance, desc.className, &existing)) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &Window::Thunk;
        wc.hInstance = instance;
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hIcon = desc.classIcon;
        wc.hbrBackground = desc.background;
        wc.lpszClassName = desc.className;
        if (!::RegisterClassExW(&wc))
            return false;
    }
    if (!life_)
        life_ = std::make_shared<int>(0);
    painting_ = desc.painting;
    HWND created = ::CreateWindowExW(desc.exStyle, desc.className, desc.title.c_str(), desc.style,
                                     0, 0, 0, 0, parent, nullptr, instance, this);
    return created != nullptr && hwnd_ == created;
}

void Window::DestroyNow() {
    if (hwnd_)
        ::DestroyWindow(hwnd_);
}

LRESULT CALLBACK Window::Thunk(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lp);
        auto* self = static_cast<Window*>(create->lpCreateParams);
        self->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    if (msg == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        self->life_.reset();  // watches taken before now report the window gone
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
    LRESULT result = 0;
    if (!Guarded("window", [&] { result = self->Dispatch(msg, wp, lp); })) {
        result = ::DefWindowProcW(hwnd, msg, wp, lp);
    }
    return result;
}

LRESULT Window::Dispatch(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DISPLAYCHANGE || msg == WM_SETTINGCHANGE || msg == WM_DPICHANGED)
        ForgetScreenMetrics();
    if (msg == WM_TIMER) {
        const auto id = static_cast<UINT_PTR>(wp);
        if (TimerFires(id) && !gTimersSuppressed)
            OnTimer(id);
        return 0;
    }
    if (msg == WM_PAINT && painting_ != Painting::kSystem) {
        PaintClient();
        return 0;
    }
    if (msg == WM_ERASEBKGND && painting_ == Painting::kWhole)
        return 1;  // OnPaint covers every pixel
    return OnMessage(msg, wp, lp);
}

void Window::PaintClient() {
    const PaintScope paint(hwnd_);
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    OnPaint(paint.dc(), client);
}

bool Window::TimerFires(UINT_PTR id) {
    for (Timer* timer : timers_) {
        if (timer->id_ == id)
            return timer->TakeFiring();
    }
    return true;
}

LRESULT Window::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    return ::DefWindowProcW(hwnd_, msg, wp, lp);
}

void Window::OnTimer(UINT_PTR) {}

void Window::OnPaint(HDC, const RECT&) {}

void Window::Show(bool visible) {
    if (hwnd_)
        ::ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
}

RECT Window::WindowRect() const {
    RECT r{};
    if (hwnd_)
        ::GetWindowRect(hwnd_, &r);
    return r;
}

void Window::MoveTwips(double left, double top) {
    MoveToPixels(TwipsToPixels(left, TwipsPerPixelX()), TwipsToPixels(top, TwipsPerPixelY()),
                 WindowRect());
}

// A move to where the window already stands is left out: the motion sets both coordinates of
// every character on every tick, and a resting one would cost the system a move for nothing.
void Window::MoveToPixels(int x, int y, const RECT& now) {
    if (!hwnd_ || (x == now.left && y == now.top))
        return;
    Count(Counter::kWindowMove);
    ::SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Window::SizeTwips(double width, double height) {
    if (!hwnd_)
        return;
    ::SetWindowPos(hwnd_, nullptr, 0, 0, TwipsToPixels(width, TwipsPerPixelX()),
                   TwipsToPixels(height, TwipsPerPixelY()),
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

double Window::LeftTwips() const {
    return PixelsToTwips(WindowRect().left, TwipsPerPixelX());
}
double Window::TopTwips() const {
    return PixelsToTwips(WindowRect().top, TwipsPerPixelY());
}
double Window::WidthTwips() const {
    RECT r = WindowRect();
    return PixelsToTwips(r.right - r.left, TwipsPerPixelX());
}
double Window::HeightTwips() const {
    RECT r = WindowRect();
    return PixelsToTwips(r.bottom - r.top, TwipsPerPixelY());
}

namespace {

bool gTimersPaused = false;

// Every live timer, so that pausing and resuming reach them all.
std::vector<Timer*>& LiveTimers() {
    static std::vector<Timer*> timers;
    return timers;
}

}  // namespace

void PauseTimers(bool paused) {
    if (paused == gTimersPaused)
        return;
    gTimersPaused = paused;
    for (Timer* timer : LiveTimers()) {
        if (timer->pausing_ == Timer::kPausable)
            timer->Apply();
    }
}

Timer::Timer(Window& owner, UINT_PTR id, Pausing pausing)
    : owner_(owner), id_(id), pausing_(pausing) {
    LiveTimers().push_back(this);
    owner_.timers_.push_back(this);
}

Timer::~Timer() {
    std::erase(LiveTimers(), this);
    std::erase(owner_.timers_, this);
    if (running_ && owner_.hwnd())
        ::KillTimer(owner_.hwnd(), id_);
}

void Timer::SetInterval(UINT ms) {
    interval_ = ms;
    Apply();
}

void Timer::SetEnabled(bool on) {
    enabled_ = on;
    Apply();
}

// Switching on or setting the interval restarts the count, so a full interval follows. A timer
// switched off stays set with the system until it next fires, and is stopped then: every tick
// switches its timer off and on again, and one dropped firing costs less than asking the system
// twice per tick.
void Timer::Apply() {
    HWND hwnd = owner_.hwnd();
    if (!hwnd) {
        running_ = false;
        return;
    }
    const bool paused = gTimersPaused && pausing_ == kPausable;
    if (enabled_ && interval_ > 0 && !paused) {
        Count(Counter::kTimerStart);
        running_ = ::SetTimer(hwnd, id_, interval_, nullptr) != 0;
    } else if (running_ && (paused || interval_ == 0)) {
        Stop();
    }
}

bool Timer::TakeFiring() {
    if (enabled_ && !(gTimersPaused && pausing_ == kPausable))
        return true;
    if (running_)
        Stop();
    return false;
}

void Timer::Stop() {
    Count(Counter::kTimerStop);
    if (owner_.hwnd())
        ::KillTimer(owner_.hwnd(), id_);
    running_ = false;
}

}  // namespace tovalin::platform

// The floor of the steady state: five shaped windows that show what five fast characters show
// (a new frame's outline and picture every animation interval, and the moves of the mode) with
// the least the system can be asked for it, and nothing else. Its cost is what the characters'
// cost is measured against.
//
//   tovalin-floor-win32.exe FRAMES-FOLDER 静止|直線|浮遊|跳ねる [--frames-per-second=F]
//                           [--moves-per-second=M]
//
// Each window has one animation timer (80 ms, or 5000/F ms so that the five windows switch F
// frames a second in all); on each firing it makes the next frame's region from the stored
// region data, hands it to the window with a redraw (SetWindowRgn(..., TRUE): without one, what
// the old outline covered behind the window need not be repainted) and paints the frame's
// picture in the paint that follows. When the next frame has the outline the window already has,
// only the picture is repainted.
// One motion timer (50 ms) steps every window along the mode's path (the project's motion
// routines: 16 twips a step in a straight line, the floating and bouncing curves) and moves a
// window with one SetWindowPos when its pixel place changed. With M, the moving modes make M
// moves a second in all instead, each to the next new place on a window's path. Standing
// characters need no motion timer. F and M can be changed while the floor runs (floor_rates_
// win32.h): the orchestrator gives it the rates it has just measured for the scene, so that both
// show as much. The floor counts its work with the player's counters and shares them like the
// player when TOVALIN_COUNTERS=1.
#include "motion/motion.h"
#include "motion/worker_win32.h"
#include "package/package.h"
#include "platform/counters.h"
#include "platform/counters_win32.h"
#include "platform/handles_win32.h"
#include "platform/picture_win32.h"
#include "platform/units.h"
#include "shape/region.h"
#include "support/support_win32.h"

#include "floor_rates_win32.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cwchar>
#include <exception>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace motion = tovalin::motion;
namespace platform = tovalin::platform;
namespace shape = tovalin::shape;
namespace bench = tovalin::bench;
using platform::Count;
using platform::Counter;

constexpr int kCharacters = 5;
constexpr double kAnimationMs = 80;  // 速い
constexpr UINT kMotionMs = 50;
constexpr UINT_PTR kAnimationTimer = 1;
constexpr UINT_PTR kMotionTimer = 2;
// A path step that leaves the window on its pixel is taken again, but a long floating pause
// need not be walked to its end.
constexpr int kMaxStepsPerMove = 1000;

using tovalin::support::NowSeconds;

// One frame as the player keeps it: the picture to paint and the region data to shape with.
struct Frame {
    platform::UniqueHbitmap bitmap;
    std::vector<std::uint8_t> region;  // header and rectangles, as the region builder wrote them
};

struct Frames {
    std::vector<Frame> list;
    int width = 0, height = 0;  // pixels, of the first frame
};

// Decodes and shapes the frames the way the player's frame loading does.
std::optional<Frames> LoadFrames(const std::wstring& folder) {
    const platform::PictureBatch batch;
    Frames frames;
    auto record = std::make_unique<shape::RegionRecord>();
    for (const std::wstring& path : tovalin::support::FilesIn(folder, {L"*.gif"})) {
        if (frames.list.size() == static_cast<std::size_t>(tovalin::package::kMaxFrames))
            break;
        const std::optional<platform::DecodedPicture> decoded =
            platform::DecodePicture(path, platform::ButtonFaceRgb());
        if (!decoded)
            return std::nullopt;
        const std::uint32_t size = shape::BuildRegionData(
            decoded->pixels, decoded->width, decoded->height, decoded->pixels.front(), *record);
        if (size == 0)
            return std::nullopt;
        if (frames.list.empty()) {
            frames.width = decoded->width;
            frames.height = decoded->height;
        }
        frames.list.push_back({platform::CreatePictureBitmap(*decoded),
                               {record->bytes.begin(), record->bytes.begin() + size}});
    }
    if (frames.list.empty())
        return std::nullopt;
    return frames;
}

// The screen as the motion routines want it, read once: the floor asks the system nothing the
// moves do not need.
class FixedScreen final : public motion::Screen {
  public:
    FixedScreen() {
        const motion::SystemScreen system;
        width_ = system.WidthTwips();
        height_ = system.HeightTwips();
        floorLine_ = system.FloorLineTwips();
    }
    float WidthTwips() const override { return width_; }
    float HeightTwips() const override { return height_; }
    std::int32_t FloorLineTwips() const override { return floorLine_; }

  private:
    float width_ = 0, height_ = 0;
    std::int32_t floorLine_ = 0;
};

double TwipsPerPixel() {
    // A program that is not DPI-aware has a fixed logical resolution for the session.
    const HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen)
        ::ReleaseDC(nullptr, screen);
    return 1440.0 / (dpi > 0 ? dpi : 96);
}

// One character window of the floor.
class FloorWindow final : public motion::MotionWindow {
  public:
    FloorWindow(HWND hwnd, int x, int y, int width, int height, double twipsPerPixel)
        : hwnd_(hwnd),
          x_(x),
          y_(y),
          width_(width),
          height_(height),
          twipsPerPixel_(twipsPerPixel) {}

    HWND Hwnd() const { return hwnd_; }
    std::size_t Shown() const { return shown_; }

    // Makes frame k the one the window shows: its outline handed to the system (which then
    // repaints the window) or, when the outline is the one the window already has, only the
    // picture repainted.
    void ShowFrame(std::size_t k, const Frames& frames) {
        Count(Counter::kFrameSwitch);
        const bool sameOutline = shaped_ && frames.list[k].region == frames.list[shown_].region;
        shown_ = k;
        if (sameOutline) {
            ::InvalidateRect(hwnd_, nullptr, FALSE);
            return;
        }
        const std::vector<std::uint8_t>& data = frames.list[k].region;
        HRGN region = ::ExtCreateRegion(nullptr, static_cast<DWORD>(data.size()),
                                        reinterpret_cast<const RGNDATA*>(data.data()));
        if (region && ::SetWindowRgn(hwnd_, region, TRUE)) {
            Count(Counter::kRegionChange);
            shaped_ = true;
        } else if (region) {
            ::DeleteObject(region);
        }
    }

    // Steps the path until the window's pixel place changes (at most a bounded number of steps,
    // or once when every step is wanted), then moves it there with one call.
    void Step(motion::MoveMode mode, const motion::Screen& screen, bool untilMoved) {
        const int x = x_, y = y_;
        for (int i = 0; i < kMaxStepsPerMove; ++i) {
            StepOnce(mode, screen);
            if (!untilMoved || x_ != x || y_ != y)
                break;
        }
        if (x_ == x && y_ == y)
            return;
        Count(Counter::kWindowMove);
        ::SetWindowPos(hwnd_, nullptr, x_, y_, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // MotionWindow: the place is kept here and handed to the system once a step is over.
    motion::CharaInfo& Info() override { return info_; }
    double LeftTwips() const override { return x_ * twipsPerPixel_; }
    double TopTwips() const override { return y_ * twipsPerPixel_; }
    double WidthTwips() const override { return width_ * twipsPerPixel_; }
    double HeightTwips() const override { return height_ * twipsPerPixel_; }
    void MoveTwips(double left, double top) override {
        x_ = platform::TwipsToPixels(left, twipsPerPixel_);
        y_ = platform::TwipsToPixels(top, twipsPerPixel_);
    }

  private:
    void StepOnce(motion::MoveMode mode, const motion::Screen& screen) {
        switch (mode) {
            case motion::MoveMode::kStraight:
                motion::MoveStraight(*this, screen);
                break;
            case motion::MoveMode::kFloating:
                motion::MoveFloating(*this, screen);
                break;
            case motion::MoveMode::kBouncing:
                motion::MoveBouncing(*this, screen);
                break;
            case motion::MoveMode::kStill:
            case motion::MoveMode::kOnWindows:
            case motion::MoveMode::kNone:
                break;
        }
    }

    HWND hwnd_;
    int x_, y_;
    int width_, height_;
    double twipsPerPixel_;
    motion::CharaInfo info_{};
    std::size_t shown_ = 0;
    bool shaped_ = false;
};

class Floor {
  public:
    Floor(Frames frames, motion::MoveMode mode, const volatile bench::FloorRates& rates)
        : frames_(std::move(frames)), mode_(mode), rates_(rates) {}

    bool Show();
    LRESULT OnMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  private:
    FloorWindow* WindowOf(HWND hwnd);
    void Paint(FloorWindow& window);
    void Animate(FloorWindow& window);
    void MotionTick();
    void FollowRates();
    void StartAnimationTimers();

    Frames frames_;
    motion::MoveMode mode_;
    const volatile bench::FloorRates& rates_;
    double framesPerSecond_ = 0;
    double movesPerSecond_ = 0;  // below 0: one step per window and tick
    FixedScreen screen_;
    std::vector<FloorWindow> windows_;
    platform::UniqueHdc source_{::CreateCompatibleDC(nullptr)};
    double motionStart_ = 0;
    double moves_ = 0;
    std::size_t nextToMove_ = 0;
};

Floor* gFloor = nullptr;

LRESULT CALLBACK FloorProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (gFloor)
        return gFloor->OnMessage(hwnd, msg, wp, lp);
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

FloorWindow* Floor::WindowOf(HWND hwnd) {
    for (FloorWindow& window : windows_) {
        if (window.Hwnd() == hwnd)
            return &window;
    }
    return nullptr;
}

// Five windows at random places in the middle half of the screen, as the scene places them.
bool Floor::Show() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = FloorProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"tovalin.bench.floor";
    if (!::RegisterClassW(&wc))
        return false;
    const double twipsPerPixel = TwipsPerPixel();
    const int sw = ::GetSystemMetrics(SM_CXSCREEN), sh = ::GetSystemMetrics(SM_CYSCREEN);
    std::minstd_rand random(static_cast<unsigned>(::GetTickCount()));
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    windows_.reserve(kCharacters);
    for (int i = 0; i < kCharacters; ++i) {
        const int x = sw / 4 + static_cast<int>(unit(random) * (sw / 2));
        const int y = sh / 4 + static_cast<int>(unit(random) * (sh / 2));
        HWND hwnd = ::CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, wc.lpszClassName, L"",
                                      WS_POPUP, x, y, frames_.width, frames_.height, nullptr,
                                      nullptr, wc.hInstance, nullptr);
        if (!hwnd)
            return false;
        windows_.emplace_back(hwnd, x, y, frames_.width, frames_.height, twipsPerPixel);
    }
    for (FloorWindow& window : windows_) {
        window.ShowFrame(0, frames_);
        ::ShowWindow(window.Hwnd(), SW_SHOWNA);
        motion::InitMotion(window);
    }
    FollowRates();
    // Standing characters need no motion timer at all.
    if (mode_ != motion::MoveMode::kStill) {
        Count(Counter::kTimerStart);
        ::SetTimer(windows_.front().Hwnd(), kMotionTimer, kMotionMs, nullptr);
    }
    return true;
}

void Floor::StartAnimationTimers() {
    const auto ms = static_cast<UINT>(std::lround(kCharacters * 1000.0 / framesPerSecond_));
    for (FloorWindow& window : windows_) {
        Count(Counter::kTimerStart);
        ::SetTimer(window.Hwnd(), kAnimationTimer, std::max(1u, ms), nullptr);
    }
}

// Takes on rates that changed since the last look: new animation timers, and the count of moves
// made afresh from now.
void Floor::FollowRates() {
    const double frames = rates_.framesPerSecond;
    const double moves = rates_.movesPerSecond;
    if (frames > 0 && frames != framesPerSecond_) {
        framesPerSecond_ = frames;
        StartAnimationTimers();
    }
    if (moves != movesPerSecond_) {
        movesPerSecond_ = moves;
        motionStart_ = NowSeconds();
        moves_ = 0;
    }
}

LRESULT Floor::OnMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    FloorWindow* window = WindowOf(hwnd);
    if (!window)
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    switch (msg) {
        case WM_PAINT:
            Paint(*window);
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the picture covers the whole window
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;
        case WM_TIMER:
            if (wp == kAnimationTimer)
                Animate(*window);
            else if (wp == kMotionTimer)
                MotionTick();
            return 0;
        default:
            return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
}

void Floor::Paint(FloorWindow& window) {
    Count(Counter::kRepaint);
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(window.Hwnd(), &ps);
    const HGDIOBJ old = ::SelectObject(source_.get(), frames_.list[window.Shown()].bitmap.get());
    ::BitBlt(dc, 0, 0, frames_.width, frames_.height, source_.get(), 0, 0, SRCCOPY);
    ::SelectObject(source_.get(), old);
    ::EndPaint(window.Hwnd(), &ps);
}

void Floor::Animate(FloorWindow& window) {
    if (&window == &windows_.front())
        FollowRates();
    const std::size_t next = (window.Shown() + 1) % frames_.list.size();
    window.ShowFrame(next, frames_);
}

// Without a rate every window takes one step a tick. With one, the tick moves as many windows,
// in turn, as keep the moves made since the start at the rate, never more than each window once.
void Floor::MotionTick() {
    FollowRates();
    if (movesPerSecond_ < 0) {
        for (FloorWindow& window : windows_)
            window.Step(mode_, screen_, false);
        return;
    }
    const double due = movesPerSecond_ * (NowSeconds() - motionStart_);
    // A late tick does not make up for more than one tick's worth.
    moves_ = std::max(moves_, due - static_cast<double>(windows_.size()));
    for (std::size_t i = 0; i < windows_.size() && moves_ + 1 <= due; ++i) {
        windows_[nextToMove_].Step(mode_, screen_, true);
        nextToMove_ = (nextToMove_ + 1) % windows_.size();
        moves_ += 1;
    }
}

int Usage() {
    std::fwprintf(stderr,
                  L"usage: tovalin-floor-win32.exe FRAMES-FOLDER 静止|直線|浮遊|跳ねる "
                  L"[--frames-per-second=F] [--moves-per-second=M]\n");
    return 2;
}

struct Options {
    std::wstring frames;
    motion::MoveMode mode = motion::MoveMode::kNone;
    double framesPerSecond = kCharacters * 1000.0 / kAnimationMs;
    double movesPerSecond = -1;
};

// A "--name=value" option's value, when the argument is that option.
std::optional<double> OptionValue(std::wstring_view argument, std::wstring_view name) {
    if (!argument.starts_with(name) || argument.size() == name.size() ||
        argument[name.size()] != L'=')
        return std::nullopt;
    return std::wcstod(argument.data() + name.size() + 1, nullptr);
}

std::optional<Options> ParseOptions(int argc, wchar_t** argv) {
    if (argc < 3)
        return std::nullopt;
    Options options{argv[1], motion::ModeFromWord(argv[2])};
    for (int i = 3; i < argc; ++i) {
        if (auto f = OptionValue(argv[i], L"--frames-per-second"))
            options.framesPerSecond = *f;
        else if (auto m = OptionValue(argv[i], L"--moves-per-second"))
            options.movesPerSecond = *m;
        else
            return std::nullopt;
    }
    if (options.mode == motion::MoveMode::kNone || !(options.framesPerSecond > 0) ||
        std::isnan(options.movesPerSecond))
        return std::nullopt;
    return options;
}

// The rates in a block others can change by name while the floor runs; nothing when the block
// cannot be made.
class SharedRates {
  public:
    explicit SharedRates(const bench::FloorRates& initial)
        : mapping_(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        sizeof(bench::FloorRates),
                                        bench::FloorRatesName(::GetCurrentProcessId()).c_str())),
          view_(mapping_ ? ::MapViewOfFile(mapping_.get(), FILE_MAP_WRITE, 0, 0,
                                           sizeof(bench::FloorRates))
                         : nullptr) {
        if (view_) {
            Rates()->framesPerSecond = initial.framesPerSecond;
            Rates()->movesPerSecond = initial.movesPerSecond;
        }
    }
    volatile bench::FloorRates* Rates() const {
        return static_cast<volatile bench::FloorRates*>(const_cast<void*>(view_.get()));
    }

  private:
    platform::UniqueKernelHandle mapping_;
    platform::UniqueMapView view_;
};

int Main(int argc, wchar_t** argv) {
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options)
        return Usage();
    platform::ShareCountersIfAsked();
    const SharedRates rates({options->framesPerSecond, options->movesPerSecond});
    if (!rates.Rates()) {
        std::fwprintf(stderr, L"the floor's rates could not be shared\n");
        return 1;
    }
    const platform::ComApartment com;
    std::optional<Frames> frames = LoadFrames(options->frames);
    if (!frames) {
        std::fwprintf(stderr, L"no frames could be loaded from %ls\n", options->frames.c_str());
        return 1;
    }
    Floor floor(std::move(*frames), options->mode, *rates.Rates());
    gFloor = &floor;
    if (!floor.Show()) {
        std::fwprintf(stderr, L"the floor's windows could not be created\n");
        return 1;
    }
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0)
        ::DispatchMessageW(&msg);
    gFloor = nullptr;
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    try {
        return Main(argc, argv);
    } catch (const std::exception& e) {
        std::fwprintf(stderr, L"error: %hs\n", e.what());
        return 1;
    }
}

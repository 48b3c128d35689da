#include "shape/scene_win32.h"

#include "motion/random.h"
#include "motion/worker_win32.h"
#include "platform/forms_win32.h"
#include "platform/dpi_win32.h"
#include "platform/desktop.h"
#include "platform/screen_metrics_win32.h"
#include "shape/frames.h"
#include "shape/frames_win32.h"

#include <cmath>

namespace tovalin::shape {

std::vector<std::unique_ptr<frmView>> gViews;

namespace {

SceneSettings gSettings;
SettingsListener gSettingsListener = nullptr;
unsigned gAway = 0;    // Away reasons that hold now
bool gHidden = false;  // the character windows are hidden
bool gAllMonitors = true;

// The monitors the characters live on: every one, or the primary alone.
platform::Desktop LivingDesktop() {
    const platform::Desktop& all = platform::SystemDesktop();
    return gAllMonitors ? all : platform::Desktop({all.Primary()});
}

platform::Area AreaOf(const frmView& view) {
    const double left = view.LeftTwips();
    const double top = view.TopTwips();
    return {left, top, left + view.WidthTwips(), top + view.HeightTwips()};
}

// Each character is drawn at the scale of the monitor under it; with the primary alone in use,
// at the display's.
void FollowMonitorScale(frmView& view) {
    const platform::Desktop& desktop = platform::SystemDesktop();
    const bool own = gAllMonitors && desktop.Several();
    view.UseScale(own ? platform::ScaleOnDesktop(desktop, AreaOf(view)) : platform::DisplayScale());
}

// With one monitor in use nobody has a scale of their own to follow or to drop, and the tick
// walks nobody.
void FollowMonitorScales() {
    const bool own = gAllMonitors && platform::SystemDesktop().Several();
    // Rescaling shows a frame, which lets messages run: a handler may rebuild the scene.
    for (std::size_t i = 0; i < gViews.size(); ++i) {
        frmView& view = *gViews[i];
        if (!own && !view.HasOwnScale())
            continue;
        const platform::Watch alive = view.MakeWatch();
        FollowMonitorScale(view);
        if (!alive.Alive())
            return;
    }
}

// What the motion tick walks: gViews, and the mode worked out when gMove last changed.
class SceneMotion final : public motion::MotionScene {
  public:
    std::span<motion::MotionWindow* const> MotionWindows() override {
        // Kept between ticks so that a tick allocates nothing.
        windows_.clear();
        for (const auto& view : gViews)
            windows_.push_back(view.get());
        return windows_;
    }
    motion::MoveMode Mode() const override { return gSettings.movement; }
    const platform::Desktop* Desktop() const override {
        return gAllMonitors ? &platform::SystemDesktop() : nullptr;
    }
    void BringBackStrays() override { BringBackViews(); }
    void FollowMonitors() override { FollowMonitorScales(); }

  private:
    std::vector<motion::MotionWindow*> windows_;
};

SceneMotion& TheSceneMotion() {
    static SceneMotion scene;
    return scene;
}

void TellSettingsListener() {
    if (gSettingsListener)
        gSettingsListener(gSettings);
}

void ApplySpeedToViews() {
    for (const auto& view : gViews)
        view->Timer1.SetInterval(gSettings.interval);
}

void UnloadViews() {
    // Take the whole list first: unloading lets messages run, and a handler that runs then must
    // find the new (empty) scene, not a half-destroyed one.
    std::vector<std::unique_ptr<frmView>> old;
    old.swap(gViews);
    for (auto& view : old) {
        view->Unload();
        platform::RetireWindow(std::move(view));
    }
}

struct Place {
    double left;
    double top;
};

// Character `index` stands in the middle half of a monitor's work area, the characters taking
// the monitors in turn, the primary first.
Place PlaceAcross(const platform::Desktop& desktop, std::size_t index) {
    const auto& monitors = desktop.Monitors();
    const platform::Area& work = monitors[index % monitors.size()].work;
    const double r1 = motion::Rng().Next();
    const double r2 = motion::Rng().Next();
    const double w = std::floor(work.Width());
    const double h = std::floor(work.Height());
    return {work.left + std::floor(r1 * std::floor(w / 2)) + std::floor(w / 4),
            work.top + std::floor(r2 * std::floor(h / 2)) + std::floor(h / 4)};
}

Place PlaceFor(package::Placement placement, std::size_t index) {
    if (placement == package::Placement::kRandom && gAllMonitors &&
        platform::SystemDesktop().Several())
        return PlaceAcross(platform::SystemDesktop(), index);
    const auto sw = static_cast<std::int64_t>(std::lround(platform::ScreenWidthTwips()));
    const auto sh = static_cast<std::int64_t>(std::lround(platform::ScreenHeightTwips()));
    if (placement == package::Placement::kRandom) {
        const double r1 = motion::Rng().Next();
        const double r2 = motion::Rng().Next();
        return {std::floor(r1 * static_cast<double>(sw / 2)) + static_cast<double>(sw / 4),
                std::floor(r2 * static_cast<double>(sh / 2)) + static_cast<double>(sh / 4)};
    }
    return {static_cast<double>(sw / 2), static_cast<double>(sh / 2)};
}

void ShowViews(bool visible) {
    if (gHidden == !visible)
        return;
    gHidden = !visible;
    for (const auto& view : gViews) {
        if (visible)
            MakeTopmost(view->hwnd());
        else
            view->Show(false);
    }
}

}  // namespace

const std::wstring& gCount = gSettings.countWord;
const std::wstring& gMove = gSettings.move;
const std::wstring& gLocation = gSettings.location;
const std::wstring& gAnim = gSettings.speedWord;

void UseSettingWords(std::wstring count, std::wstring move, std::wstring location,
                     std::wstring anim) {
    SetCountWord(gSettings, std::move(count));
    SetMoveWord(gSettings, move);
    SetLocationWord(gSettings, location);
    SetSpeedWord(gSettings, std::move(anim));
}

namespace {

// A choice the table has takes effect (`apply`); one it has not changes nothing.
template <typename Apply>
bool Choose(bool (*select)(SceneSettings&, int), int item, Apply apply) {
    if (!select(gSettings, item))
        return false;
    apply();
    return true;
}

}  // namespace

// A set-up tells the listener itself.
bool SetCount(int item) {
    return Choose(&SelectCount, item, &SetupScene);
}

bool SetMove(int item) {
    return Choose(&SelectMove, item, &TellSettingsListener);
}

bool SetLocation(int item) {
    return Choose(&SelectLocation, item, &TellSettingsListener);
}

bool SetSpeed(int item) {
    return Choose(&SelectSpeed, item, [] {
        ApplySpeedToViews();
        TellSettingsListener();
    });
}

void SetAway(Away reason, bool away) {
    const auto bit = static_cast<unsigned>(reason);
    const unsigned before = gAway;
    gAway = away ? (gAway | bit) : (gAway & ~bit);
    if (gAway == before)
        return;
    platform::PauseTimers(gAway != 0);
    ShowViews((gAway & static_cast<unsigned>(Away::kFullScreen)) == 0);
}

void BringBackViews() {
    const platform::Desktop desktop = LivingDesktop();
    for (const auto& view : gViews) {
        if (view->hwnd())
            motion::BringBack(*view, desktop);
    }
}

void UseAllMonitors(bool all) {
    if (gAllMonitors == all)
        return;
    gAllMonitors = all;
    BringBackViews();
    FollowMonitorScales();
}

void SetSettingsListener(SettingsListener listener) {
    gSettingsListener = listener;
}

void ChangeDisplayDpi(int dpi) {
    if (dpi <= 0 || dpi == platform::DisplayDpi())
        return;
    platform::SetDisplayDpi(dpi);
    RescaleFrames();
    SetupScene();
}

// Without SWP_NOACTIVATE the character would take the focus from the user's window every time
// the scene is built, and the system would then treat it as a managed, activatable window.
bool MakeTopmost(HWND hwnd) {
    return ::SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0,
                          SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW | SWP_NOACTIVATE) != 0;
}

void StopScene() {
    motion::frmWork::Get().Timer1.SetEnabled(false);
    for (const auto& view : gViews)
        view->Timer1.SetEnabled(false);
}

void RestartScene() {
    motion::frmWork::Get().Timer1.SetEnabled(true);
    for (const auto& view : gViews)
        view->Timer1.SetEnabled(true);
}

void SetupScene() {
    motion::ReseedFromTimer();
    motion::frmWork& work = motion::frmWork::Get();
    work.Timer1.SetEnabled(false);
    UnloadViews();

    TellSettingsListener();

    for (int i = 0; i < gSettings.count; ++i) {
        auto owned = std::make_unique<frmView>();
        frmView& view = *owned;
        gViews.push_back(std::move(owned));
        view.Load();
        const platform::Watch alive = view.MakeWatch();
        const Place place = PlaceFor(gSettings.placement, static_cast<std::size_t>(i));
        view.MoveTwips(place.left, place.top);
        view.SizeTwips(gFrameWidth[0], gFrameHeight[0]);
        view.Show(true);
        FollowMonitorScale(view);
        ShowFrame(0, view);
        // A handler that ran inside the frame switch may have rebuilt the scene: then this
        // set-up is over, and the newer one stands.
        if (!alive.Alive())
            return;
        MakeTopmost(view.hwnd());
        if (gHidden)
            view.Show(false);  // built behind a full-screen program: shown when it goes
        view.Timer1.SetInterval(gSettings.interval);
        motion::InitMotion(view);
    }
    work.SetMotionScene(&TheSceneMotion());
    work.Timer1.SetInterval(50);
    work.Timer1.SetEnabled(true);
}

}  // namespace tovalin::shape

#include "shape/scene_win32.h"

#include "app/globals.h"
#include "app/shutdown_win32.h"
#include "app/startup_win32.h"
#include "motion/motion.h"
#include "motion/random.h"
#include "platform/system_win32.h"
#include "shape/frames.h"
#include "shape/scene.h"
#include "ui/menu_win32.h"

#include <cmath>

namespace tovalin::shape {

std::vector<std::unique_ptr<frmView>> gViews;

namespace {

void UnloadViews() {
    // Take the whole list first: unloading lets messages run, and a handler that runs then must
    // find the new (empty) scene, not a half-destroyed one.
    std::vector<std::unique_ptr<frmView>> old;
    old.swap(gViews);
    for (auto& view : old) {
        view->Unload();
        app::RetireWindow(std::move(view));
    }
}

void CheckMenus(const SceneSettings& settings) {
    ui::frmMenu& menu = ui::frmMenu::Get();
    menu.CheckOnly(ui::MenuArray::mCountNum, settings.countItem);
    menu.CheckOnly(ui::MenuArray::mMoving, settings.moveItem);
    menu.CheckOnly(ui::MenuArray::mLocation, settings.locationItem);
    menu.CheckOnly(ui::MenuArray::mDousaSpeed, settings.speedItem);
}

struct Place {
    double left;
    double top;
};

Place PlaceFor(const std::wstring& location) {
    const auto sw = static_cast<std::int64_t>(std::lround(platform::ScreenWidthTwips()));
    const auto sh = static_cast<std::int64_t>(std::lround(platform::ScreenHeightTwips()));
    if (location == kLocationRandom) {
        const double r1 = motion::Rng().Next();
        const double r2 = motion::Rng().Next();
        return {std::floor(r1 * static_cast<double>(sw / 2)) + static_cast<double>(sw / 4),
                std::floor(r2 * static_cast<double>(sh / 2)) + static_cast<double>(sh / 4)};
    }
    return {static_cast<double>(sw / 2), static_cast<double>(sh / 2)};
}

}  // namespace

unsigned AnimationInterval(std::wstring_view anim) {
    return SpeedFromWord(anim).interval;
}

// Without SWP_NOACTIVATE the character would take the focus from the user's window every time
// the scene is built, and the system would then treat it as a managed, activatable window.
bool MakeTopmost(HWND hwnd) {
    return ::SetWindowPos(hwnd, HWND_TOPMOST, 0, 0, 0, 0,
                          SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW | SWP_NOACTIVATE) != 0;
}

void SetupScene() {
    motion::ReseedFromTimer();
    app::frmWork& work = app::frmWork::Get();
    work.Timer1.SetEnabled(false);
    UnloadViews();

    const SceneSettings settings =
        ResolveSceneSettings(app::gCount, app::gMove, app::gLocation, app::gAnim);
    app::gMove = settings.move;
    app::gLocation = settings.location;
    CheckMenus(settings);

    for (int i = 0; i < settings.count; ++i) {
        auto owned = std::make_unique<frmView>();
        frmView& view = *owned;
        gViews.push_back(std::move(owned));
        view.Load();
        const platform::Watch alive = view.MakeWatch();
        const Place place = PlaceFor(app::gLocation);
        view.MoveTwips(place.left, place.top);
        view.SizeTwips(gFrameWidth[0], gFrameHeight[0]);
        view.Show(true);
        ShowFrame(0, view);
        // A handler that ran inside the frame switch may have rebuilt the scene: then this
        // set-up is over, and the newer one stands.
        if (!alive.Alive())
            return;
        MakeTopmost(view.hwnd());
        view.Timer1.SetInterval(settings.interval);
        motion::InitMotion(view);
    }
    work.Timer1.SetInterval(50);
    work.Timer1.SetEnabled(true);
}

}  // namespace tovalin::shape

#include "ui/away.h"

#include <gtest/gtest.h>

namespace tovalin::ui {
namespace {

constexpr ScreenRect kMonitor{0, 0, 1280, 1024};

ForegroundWindow Borderless(ScreenRect rect) {
    ForegroundWindow window;
    window.exists = true;
    window.rect = rect;
    return window;
}

TEST(FullScreen, AnotherProgramsBorderlessWindowOverTheWholeMonitor) {
    EXPECT_TRUE(CoversScreenWithoutCaption(Borderless(kMonitor), kMonitor));
    // Larger than the monitor, as games and video players often are.
    EXPECT_TRUE(CoversScreenWithoutCaption(Borderless({-8, -8, 1288, 1032}), kMonitor));
}

TEST(FullScreen, ShortOfAnyEdgeIsNotFullScreen) {
    EXPECT_FALSE(CoversScreenWithoutCaption(Borderless({1, 0, 1280, 1024}), kMonitor));
    EXPECT_FALSE(CoversScreenWithoutCaption(Borderless({0, 1, 1280, 1024}), kMonitor));
    EXPECT_FALSE(CoversScreenWithoutCaption(Borderless({0, 0, 1279, 1024}), kMonitor));
    EXPECT_FALSE(CoversScreenWithoutCaption(Borderless({0, 0, 1280, 984}), kMonitor));  // taskbar
}

TEST(FullScreen, CaptionedOursShellAndNoWindowNeverCount) {
    ForegroundWindow maximised = Borderless(kMonitor);
    maximised.captioned = true;
    EXPECT_FALSE(CoversScreenWithoutCaption(maximised, kMonitor));
    ForegroundWindow ours = Borderless(kMonitor);
    ours.ours = true;
    EXPECT_FALSE(CoversScreenWithoutCaption(ours, kMonitor));
    ForegroundWindow desktop = Borderless(kMonitor);
    desktop.shell = true;
    EXPECT_FALSE(CoversScreenWithoutCaption(desktop, kMonitor));
    EXPECT_FALSE(CoversScreenWithoutCaption(ForegroundWindow{}, kMonitor));
    EXPECT_FALSE(CoversScreenWithoutCaption(Borderless(kMonitor), ScreenRect{}));
}

TEST(FullScreen, TheShellsBusyFullScreenAndPresentationStates) {
    for (int state = 0; state <= 7; ++state)
        EXPECT_EQ(ShellReportsFullScreen(state), state >= 2 && state <= 4) << state;
}

TEST(Display, OnlyOffIsAway) {
    EXPECT_TRUE(DisplayIsOff(0));
    EXPECT_FALSE(DisplayIsOff(1));
    EXPECT_FALSE(DisplayIsOff(2));
}

}  // namespace
}  // namespace tovalin::ui

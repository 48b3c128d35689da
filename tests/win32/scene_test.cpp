// Frames, shaping and the scene, on real windows under the system.
#include "motion/worker_win32.h"
#include "platform/forms_win32.h"
#include "platform/counters.h"
#include "platform/handles_win32.h"
#include "platform/picture_win32.h"
#include "platform/file_win32.h"
#include "platform/folder_win32.h"
#include "platform/pump_win32.h"
#include "platform/screen_metrics_win32.h"
#include "shape/frames.h"
#include "shape/frames_win32.h"
#include "shape/region.h"
#include "shape/scene_win32.h"
#include "shape/view_win32.h"
#include "support/support_win32.h"
#include "ui/commands_win32.h"
#include "ui/menu_win32.h"
#include "ui/settings_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace tovalin::shape {
namespace {

// The picture decoder needs COM on this thread, as the player's main thread has it.
const platform::ComApartment gCom;

using support::SampleFrame;

// What the scene last told its settings listener.
SceneSettings gApplied;

std::vector<RECT> RegionRects(HRGN region) {
    const DWORD size = ::GetRegionData(region, 0, nullptr);
    std::vector<std::uint8_t> buffer(size);
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    if (size == 0 || ::GetRegionData(region, size, data) == 0)
        return {};
    const auto* rects = reinterpret_cast<const RECT*>(data->Buffer);
    return {rects, rects + data->rdh.nCount};
}

std::vector<RECT> WindowRegionRects(HWND hwnd) {
    const platform::UniqueHrgn region(::CreateRectRgn(0, 0, 0, 0));
    std::vector<RECT> rects;
    if (::GetWindowRgn(hwnd, region.get()) != ERROR)
        rects = RegionRects(region.get());
    return rects;
}

std::vector<RECT> RecordRects(int k) {
    const auto* data = reinterpret_cast<const RGNDATA*>(gRgnData[k].bytes.data());
    const auto* rects = reinterpret_cast<const RECT*>(data->Buffer);
    return {rects, rects + data->rdh.nCount};
}

bool SameRects(const std::vector<RECT>& a, const std::vector<RECT>& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](const RECT& x, const RECT& y) {
               return std::memcmp(&x, &y, sizeof(RECT)) == 0;
           });
}

class Scene : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!platform::FileExists(SampleFrame(1)))
            GTEST_SKIP() << "sample frames are missing";
        motion::frmWork::Get();
        // The menu's check marks follow the scene as the start-up sequence wires them.
        SetSettingsListener([](const SceneSettings& s) {
            ui::frmMenu::Get().CheckSceneSettings(s);
            gApplied = s;
        });
        gApplied = {};
        ClearFrameStore();
        for (int n = 1; n <= 5; ++n)
            ASSERT_EQ(LoadFrame(SampleFrame(n)), FrameLoad::kLoaded);
        UseSettingWords(L"3", L"静止", L"中心", L"速い");
    }
    void TearDown() override {
        for (auto& view : gViews)
            view->Unload();
        gViews.clear();
        platform::FreeRetiredWindows();
    }
};

TEST_F(Scene, FramesAreMeasuredAndShaped) {
    EXPECT_EQ(gFrameCount, 5);
    EXPECT_EQ(gFrameWidth[0], static_cast<int>(49 * platform::TwipsPerPixelX()));
    EXPECT_EQ(gFrameHeight[0], static_cast<int>(64 * platform::TwipsPerPixelY()));
    const auto* header = reinterpret_cast<const RGNDATAHEADER*>(gRgnData[0].bytes.data());
    EXPECT_EQ(header->dwSize, 32u);
    EXPECT_GT(header->nCount, 10u);
    ASSERT_NE(frmView::DefaultIfLoaded(), nullptr);
    EXPECT_EQ(frmView::DefaultIfLoaded()->Pic.size(), 5u);
}

TEST_F(Scene, SetupCreatesTopmostShapedWindowsAtTheCentre) {
    SetupScene();
    ASSERT_EQ(gViews.size(), 3u);
    const int cx = static_cast<int>(std::lround(platform::ScreenWidthTwips())) / 2;
    const int cy = static_cast<int>(std::lround(platform::ScreenHeightTwips())) / 2;
    for (const auto& view : gViews) {
        ASSERT_TRUE(::IsWindow(view->hwnd()));
        EXPECT_TRUE(::IsWindowVisible(view->hwnd()));
        EXPECT_TRUE(::GetWindowLongW(view->hwnd(), GWL_EXSTYLE) & WS_EX_TOPMOST);
        EXPECT_TRUE(::GetWindowLongW(view->hwnd(), GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
        EXPECT_FALSE(::GetWindowLongW(view->hwnd(), GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME));
        EXPECT_NEAR(view->LeftTwips(), cx, platform::TwipsPerPixelX());
        EXPECT_NEAR(view->TopTwips(), cy, platform::TwipsPerPixelY());
        // Frame 0 first; on a busy machine the animation of the first windows may have moved
        // on while the later ones were made.
        const std::int32_t shown = view->CharaInfo.poi == 0 ? 0 : view->CharaInfo.poi - 1;
        EXPECT_TRUE(SameRects(WindowRegionRects(view->hwnd()), RecordRects(shown)));
        EXPECT_EQ(view->Timer1.Interval(), 80u);
        EXPECT_EQ(view->CharaInfo.xVelocInit, 18.0f);
    }
    // The check marks the menu is told to put: "3" and "速い".
    EXPECT_EQ(gApplied.countItem, 1);
    EXPECT_EQ(gApplied.speedItem, 2);
    EXPECT_NE(gApplied.speedItem, 1);
    EXPECT_EQ(motion::frmWork::Get().Timer1.Interval(), 50u);
    EXPECT_TRUE(motion::frmWork::Get().Timer1.Enabled());
}

TEST_F(Scene, CountsFollowTheWorkOfASetUp) {
    // Slow, so that the first windows' animation rarely ticks before the last one is made.
    SetSpeed(0);
    const platform::CounterValues before = *platform::CounterBlock();
    SetupScene();
    const platform::CounterValues after = *platform::CounterBlock();
    const auto added = [&](platform::Counter c) {
        return after[static_cast<std::size_t>(c)] - before[static_cast<std::size_t>(c)];
    };
    // A tick that did run on a busy machine switched its window's frame once and moved the
    // window's next frame on by one (the set-up shows frame 0 and leaves the next at 0).
    std::uint64_t ticks = 0;
    for (const auto& view : gViews)
        ticks += static_cast<std::uint64_t>(view->CharaInfo.poi);
    ASSERT_EQ(gViews.size(), 3u);
    EXPECT_EQ(added(platform::Counter::kFrameSwitch), 3u + ticks);
    EXPECT_EQ(added(platform::Counter::kRegionChange), 3u);
    EXPECT_GE(added(platform::Counter::kPumpPass), 3u);
    EXPECT_GE(added(platform::Counter::kTimerStart), 4u);  // three animations and the motion
    EXPECT_GE(added(platform::Counter::kWindowMove), 1u);
}

TEST_F(Scene, UnknownWordsFallBackAndRandomPlacesStayInTheMiddleHalf) {
    UseSettingWords(L"2", L"ジャンプ", L"乱数", gAnim);
    SetupScene();
    ASSERT_EQ(gViews.size(), 1u);
    EXPECT_EQ(gMove, L"静止");
    EXPECT_EQ(gCount, L"2");
    const double sw = platform::ScreenWidthTwips();
    const double sh = platform::ScreenHeightTwips();
    for (int round = 0; round < 5; ++round) {
        SetCount(2);  // "5"
        for (const auto& view : gViews) {
            EXPECT_GE(view->LeftTwips(), sw / 4 - platform::TwipsPerPixelX());
            EXPECT_LT(view->LeftTwips(), sw * 3 / 4 + platform::TwipsPerPixelX());
            EXPECT_GE(view->TopTwips(), sh / 4 - platform::TwipsPerPixelY());
            EXPECT_LT(view->TopTwips(), sh * 3 / 4 + platform::TwipsPerPixelY());
        }
    }
}

TEST_F(Scene, AnimationStepsThroughTheFramesInOrder) {
    SetCount(0);  // "1"
    frmView& view = *gViews.front();
    std::vector<int> seen;
    for (int i = 0; i < 400 && seen.size() < 8; ++i) {
        const int poi = view.CharaInfo.poi;
        if (seen.empty() || seen.back() != poi)
            seen.push_back(poi);
        platform::PumpPendingMessages();
        ::Sleep(5);
    }
    ASSERT_GE(seen.size(), 7u);
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_EQ(seen[i], (seen[i - 1] + 1) % 5);
}

TEST_F(Scene, AnOutlineTheWindowAlreadyHasIsNotGivenAgain) {
    ClearFrameStore();
    for (int n : {1, 1, 2, 1})
        ASSERT_EQ(LoadFrame(SampleFrame(n)), FrameLoad::kLoaded);
    EXPECT_EQ(gRgnShape[1], gRgnShape[0]) << "frame 1 repeats frame 0's data";
    EXPECT_NE(gRgnShape[2], gRgnShape[1]);
    EXPECT_EQ(gRgnShape[3], 3) << "only the predecessor is compared";
    SetCount(0);  // "1"
    frmView& view = *gViews.front();
    view.Timer1.SetEnabled(false);
    const auto changes = [] {
        return (
            *platform::CounterBlock())[static_cast<std::size_t>(platform::Counter::kRegionChange)];
    };
    const std::uint64_t before = changes();
    ShowFrame(1, view);
    EXPECT_EQ(changes(), before) << "frame 0's outline given again";
    EXPECT_TRUE(SameRects(WindowRegionRects(view.hwnd()), RecordRects(1)));
    ShowFrame(2, view);
    ShowFrame(3, view);
    EXPECT_EQ(changes(), before + 2);
    EXPECT_TRUE(SameRects(WindowRegionRects(view.hwnd()), RecordRects(3)));
}

// A handler that runs inside the frame switch rebuilds the whole scene: the outer set-up must
// stop touching the window it was working on, and the newer scene must stand complete.
LRESULT CALLBACK RebuildOnce(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_APP) {
        SetCount(2);  // "5"
        return 0;
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
}

TEST_F(Scene, RebuildInsideAFrameSwitchLeavesOneWholeScene) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = RebuildOnce;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"tovalin.test.rebuild";
    ::RegisterClassW(&wc);
    HWND trigger = ::CreateWindowW(wc.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                   wc.hInstance, nullptr);
    ASSERT_NE(trigger, nullptr);
    ::PostMessageW(trigger, WM_APP, 0, 0);
    SetCount(1);  // "3"; the posted rebuild runs inside the first window's frame switch
    EXPECT_EQ(gViews.size(), 5u);
    for (const auto& view : gViews) {
        EXPECT_TRUE(::IsWindow(view->hwnd()));
        EXPECT_TRUE(::IsWindowVisible(view->hwnd()));
    }
    platform::FreeRetiredWindows();
    for (int i = 0; i < 20; ++i) {
        platform::PumpPendingMessages();
        ::Sleep(5);
    }
    EXPECT_EQ(gViews.size(), 5u);
    ::DestroyWindow(trigger);
}

// The user's window keeps the focus whatever happens to a character: a caption press (what a
// drag sends) and a move that does not say SWP_NOACTIVATE, as the system's move loop does.
TEST_F(Scene, ACharacterNeverTakesTheActiveWindow) {
    SetCount(0);  // "1"
    ASSERT_EQ(gViews.size(), 1u);
    HWND view = gViews.front()->hwnd();
    HWND user = ::CreateWindowW(L"STATIC", L"user", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200,
                                100, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(user, nullptr);
    ::SetForegroundWindow(user);
    ::SetActiveWindow(user);
    ASSERT_EQ(::GetActiveWindow(), user);

    ::SetWindowPos(view, nullptr, 40, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_EQ(::GetActiveWindow(), user) << "a move activated the character";

    // The release is already waiting, so the move loop ends as soon as it starts.
    ::PostMessageW(view, WM_LBUTTONUP, 0, 0);
    ::SendMessageW(view, WM_NCLBUTTONDOWN, HTCAPTION, 0);
    EXPECT_EQ(::GetActiveWindow(), user) << "a caption press activated the character";
    ::DestroyWindow(user);
}

// A menu choice goes to the scene, which applies it and tells the listener (the menu's check
// marks); the command then records the word the scene holds. An element the menu does not have
// changes nothing.
TEST_F(Scene, MenuChoicesTakeEffectTellTheListenerAndAreRecorded) {
    ui::gFolder.clear();
    ::DeleteFileW(ui::SettingsPath().c_str());
    SetCount(1);  // "3"
    ASSERT_EQ(gViews.size(), 3u);
    struct Case {
        const char* name;
        void (*click)(int);
        int index;
        const wchar_t* section;
        const wchar_t* key;
        const wchar_t* word;
        int SceneSettings::*item;
    };
    const Case cases[] = {
        {"speed", &ui::mDousaSpeed_Click, 0, L"Anim", L"Mode", L"遅い", &SceneSettings::speedItem},
        {"move on the windows", &ui::mMoving_Click, 4, L"Move", L"Mode", L"窓の上",
         &SceneSettings::moveItem},
        {"move", &ui::mMoving_Click, 3, L"Move", L"Mode", L"跳ねる", &SceneSettings::moveItem},
        {"location", &ui::mLocation_Click, 1, L"Location", L"Mode", L"乱数",
         &SceneSettings::locationItem},
        {"count", &ui::mCountNum_Click, 2, L"Char", L"Count", L"5", &SceneSettings::countItem},
    };
    for (const Case& c : cases) {
        gApplied.*c.item = -1;
        c.click(c.index);
        EXPECT_EQ(gApplied.*c.item, c.index) << c.name << ": the listener was not told";
        EXPECT_EQ(ui::ReadSetting(c.section, c.key), c.word) << c.name;
        for (const int outside : {-1, 9}) {
            gApplied.*c.item = -1;
            c.click(outside);
            EXPECT_EQ(gApplied.*c.item, -1) << c.name << " " << outside;
            EXPECT_EQ(ui::ReadSetting(c.section, c.key), c.word) << c.name << " " << outside;
        }
    }
    EXPECT_EQ(gMove, L"跳ねる");
    EXPECT_EQ(gLocation, L"乱数");
    EXPECT_EQ(gApplied.movement, package::Movement::kBouncing);
    // The count rebuilt the scene with everything chosen before it.
    ASSERT_EQ(gViews.size(), 5u);
    for (const auto& view : gViews) {
        ASSERT_TRUE(::IsWindow(view->hwnd()));
        EXPECT_EQ(view->Timer1.Interval(), 500u);
    }
    // A speed reaches the characters already shown.
    ui::mDousaSpeed_Click(2);
    for (const auto& view : gViews)
        EXPECT_EQ(view->Timer1.Interval(), 80u);
    EXPECT_EQ(gAnim, L"速い");
    ::DeleteFileW(ui::SettingsPath().c_str());
}

TEST(Frames, TableHoldsFiftyOneAndBadFilesAreNotCounted) {
    if (!platform::FileExists(SampleFrame(1)))
        GTEST_SKIP() << "sample frames are missing";
    ClearFrameStore();
    std::wstring error;
    const std::wstring junk = platform::TempFolderPath() + L"tovalin-junk.gif";
    std::ofstream(junk.c_str(), std::ios::binary) << "GIF89a but nothing else";
    EXPECT_EQ(LoadFrame(junk, &error), FrameLoad::kUndecodable);
    EXPECT_NE(error.find(L"tovalin-junk.gif"), std::wstring::npos);
    EXPECT_EQ(gFrameCount, 0);
    for (int i = 0; i < kMaxFrames; ++i) {
        ASSERT_EQ(LoadFrame(SampleFrame(i % 50 + 1)), FrameLoad::kLoaded);
    }
    EXPECT_EQ(LoadFrame(SampleFrame(1), &error), FrameLoad::kTableFull);
    EXPECT_EQ(gFrameCount, kMaxFrames);
    ::DeleteFileW(junk.c_str());
    ClearFrameStore();
}

// A set that could not be built gives way to the frames that were in use, pictures included.
TEST(Frames, SavedFramesComeBackInPlaceOfANewSet) {
    if (!platform::FileExists(SampleFrame(3)))
        GTEST_SKIP() << "sample frames are missing";
    ClearFrameStore();
    for (int n = 1; n <= 3; ++n)
        ASSERT_EQ(LoadFrame(SampleFrame(n)), FrameLoad::kLoaded);
    const std::vector<PicturePtr> pictures = frmView::Default().Pic;
    const std::vector<RECT> first = RecordRects(0), third = RecordRects(2);
    const std::int32_t width = gFrameWidth[2];

    SavedFramesPtr saved = SaveFrameStore();
    ClearFrameStore();
    EXPECT_EQ(frmView::DefaultIfLoaded(), nullptr);
    ASSERT_EQ(LoadFrame(SampleFrame(20)), FrameLoad::kLoaded);  // overwrites frame 0's record
    ASSERT_FALSE(SameRects(RecordRects(0), first)) << "frame 20 should differ in shape";
    RestoreFrameStore(std::move(saved));

    EXPECT_EQ(gFrameCount, 3);
    ASSERT_NE(frmView::DefaultIfLoaded(), nullptr);
    EXPECT_EQ(frmView::Default().Pic, pictures);
    EXPECT_TRUE(SameRects(RecordRects(0), first));
    EXPECT_TRUE(SameRects(RecordRects(2), third));
    EXPECT_EQ(gFrameWidth[2], width);
    ClearFrameStore();
}

}  // namespace
}  // namespace tovalin::shape

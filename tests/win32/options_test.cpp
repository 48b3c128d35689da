// The options' system sides: the user's registry values, and characters that let clicks through.
#include "motion/worker_win32.h"
#include "platform/file_win32.h"
#include "platform/forms_win32.h"
#include "platform/handles_win32.h"
#include "platform/registry_win32.h"
#include "shape/click_through_win32.h"
#include "shape/frames_win32.h"
#include "shape/scene_win32.h"
#include "support/support_win32.h"

#include <gtest/gtest.h>

#include <string>

namespace tovalin {
namespace {

constexpr const wchar_t* kScratchKey = L"Software\\tovalin-tests\\registry";

TEST(UserRegistry, TextsRoundTripAndMissingOnesReadAsNothing) {
    platform::DeleteUserValue(kScratchKey, L"chara");
    EXPECT_FALSE(platform::ReadUserText(kScratchKey, L"chara"));
    EXPECT_FALSE(platform::ReadUserText(L"Software\\tovalin-tests\\no such key", L"chara"));
    EXPECT_TRUE(platform::DeleteUserValue(L"Software\\tovalin-tests\\no such key", L"chara"))
        << "a value under a missing key is gone already";

    const std::wstring command = L"\"Z:\\作業 フォルダ\\ぷかり.exe\"";
    ASSERT_TRUE(platform::WriteUserText(kScratchKey, L"chara", command));
    EXPECT_EQ(platform::ReadUserText(kScratchKey, L"chara"), command);
    ASSERT_TRUE(platform::WriteUserText(kScratchKey, L"chara", L"x"));
    EXPECT_EQ(platform::ReadUserText(kScratchKey, L"chara"), L"x") << "a shorter text replaces";
    EXPECT_TRUE(platform::DeleteUserValue(kScratchKey, L"chara"));
    EXPECT_FALSE(platform::ReadUserText(kScratchKey, L"chara"));
    EXPECT_TRUE(platform::DeleteUserValue(kScratchKey, L"chara")) << "deleting twice is fine";
}

// The picture decoder needs COM on this thread, as the player's main thread has it.
const platform::ComApartment gCom;

constexpr LONG kPassing = WS_EX_LAYERED | WS_EX_TRANSPARENT;

class ClickThrough : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(platform::FileExists(support::SampleFrame(1)))
            << "the sample frames are missing: " << support::SampleFrame(1);
        motion::frmWork::Get();
        shape::ClearFrameStore();
        for (int n = 1; n <= 3; ++n)
            ASSERT_EQ(shape::LoadFrame(support::SampleFrame(n)), shape::FrameLoad::kLoaded);
        shape::UseSettingWords(L"3", L"静止", L"中心", L"遅い");
    }
    void TearDown() override {
        shape::UseClickThrough(false);
        for (auto& view : shape::gViews)
            view->Unload();
        shape::gViews.clear();
        platform::FreeRetiredWindows();
    }

    // A screen point inside the window's outline, and what the system finds there.
    static HWND WindowAtOutline(HWND hwnd) {
        const platform::UniqueHrgn region(::CreateRectRgn(0, 0, 0, 0));
        RECT box{};
        if (::GetWindowRgn(hwnd, region.get()) == ERROR || !::GetRgnBox(region.get(), &box))
            return nullptr;
        RECT window{};
        ::GetWindowRect(hwnd, &window);
        const int x = (box.left + box.right) / 2;
        int y = box.top;
        while (y < box.bottom && !::PtInRegion(region.get(), x, y))
            ++y;
        return ::WindowFromPoint(POINT{window.left + x, window.top + y});
    }

    static bool IsView(HWND hwnd) {
        for (const auto& view : shape::gViews) {
            if (view->hwnd() == hwnd)
                return true;
        }
        return false;
    }

    // Every character window, as the option is now: passing clicks or not, shaped and shown.
    void ExpectViews(bool passing) {
        ASSERT_EQ(shape::gViews.size(), 3u);
        for (const auto& view : shape::gViews) {
            const HWND hwnd = view->hwnd();
            ASSERT_TRUE(::IsWindow(hwnd));
            EXPECT_TRUE(::IsWindowVisible(hwnd));
            const LONG ex = ::GetWindowLongW(hwnd, GWL_EXSTYLE);
            EXPECT_EQ((ex & kPassing) == kPassing, passing) << std::hex << ex;
            EXPECT_TRUE(ex & WS_EX_TOPMOST);
            if (passing) {
                BYTE alpha = 0;
                DWORD flags = 0;
                ASSERT_TRUE(::GetLayeredWindowAttributes(hwnd, nullptr, &alpha, &flags));
                EXPECT_EQ(alpha, 255) << "as opaque as before";
            }
            // The characters stand on one another at the centre: any of them may be found.
            const HWND found = WindowAtOutline(hwnd);
            EXPECT_EQ(IsView(found), !passing) << "the system finds a character under the "
                                                  "outline only while clicks do not pass";
        }
    }
};

TEST_F(ClickThrough, ReachesEveryCharacterAndTheScenesBuiltAfterAndGoesAgain) {
    shape::SetupScene();
    ExpectViews(false);
    const HWND first = shape::gViews.front()->hwnd();
    const platform::UniqueHrgn before(::CreateRectRgn(0, 0, 0, 0));
    ASSERT_NE(::GetWindowRgn(first, before.get()), ERROR);

    shape::UseClickThrough(true);
    EXPECT_TRUE(shape::ClickThrough());
    ExpectViews(true);
    const platform::UniqueHrgn after(::CreateRectRgn(0, 0, 0, 0));
    ASSERT_NE(::GetWindowRgn(first, after.get()), ERROR);
    EXPECT_TRUE(::EqualRgn(before.get(), after.get())) << "the outline stays";

    shape::SetupScene();  // a count choice, a favourite or a change of resolution
    EXPECT_NE(shape::gViews.front()->hwnd(), first);
    ExpectViews(true);

    shape::UseClickThrough(false);
    ExpectViews(false);
}

}  // namespace
}  // namespace tovalin

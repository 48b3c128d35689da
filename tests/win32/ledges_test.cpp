// The user's windows as "窓の上" sees them: captioned windows of another process (the e2e
// driver's "host"), moved, minimised and closed from here, and a window of this process, which
// never counts.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "motion/ledges_win32.h"
#include "platform/handles_win32.h"
#include "platform/module_path.h"

namespace tovalin::motion {
namespace {

namespace fs = std::filesystem;

constexpr double kPx = 15.0;  // twips per pixel at 96 dpi
constexpr DWORD kWaitMs = 20000;

std::uintptr_t IdOf(HWND hwnd) {
    return reinterpret_cast<std::uintptr_t>(hwnd);
}

struct Found {
    DWORD pid;
    std::map<std::wstring, HWND> windows;
};

BOOL CALLBACK FindVisible(HWND hwnd, LPARAM param) {
    auto* found = reinterpret_cast<Found*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    wchar_t title[64] = {};
    if (pid == found->pid && IsWindowVisible(hwnd) && GetWindowTextW(hwnd, title, 64) > 0)
        found->windows[title] = hwnd;
    return TRUE;
}

// The driver showing windows "ledge 1", "ledge 2", ... at the given places, each above the
// ones before; ended with the test.
class HostWindows {
  public:
    explicit HostWindows(const std::vector<std::wstring>& rects) {
        const fs::path driver =
            fs::path(platform::ModulePath()).parent_path() / "tovalin-driver.exe";
        if (!fs::exists(driver))
            throw std::runtime_error("tovalin-driver.exe is not built beside the tests");
        std::wstring commandLine = L"\"" + driver.wstring() + L"\" host";
        for (const std::wstring& rect : rects)
            commandLine += L" --rect " + rect;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(driver.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &info))
            throw std::runtime_error("the driver could not be started");
        process_.reset(info.hProcess);
        CloseHandle(info.hThread);
        pid_ = info.dwProcessId;
    }
    ~HostWindows() {
        TerminateProcess(process_.get(), 0);
        WaitForSingleObject(process_.get(), kWaitMs);
    }

    // Its visible windows by title, once `count` are shown.
    std::map<std::wstring, HWND> WaitForWindows(std::size_t count) const {
        const ULONGLONG end = GetTickCount64() + kWaitMs;
        Found found{pid_, {}};
        while (found.windows.size() < count && GetTickCount64() < end) {
            found.windows.clear();
            EnumWindows(&FindVisible, reinterpret_cast<LPARAM>(&found));
            Sleep(20);
        }
        return found.windows;
    }

  private:
    platform::UniqueKernelHandle process_;
    DWORD pid_ = 0;
};

std::vector<Ledge> LedgesOf(LedgeWatch& watch, HWND hwnd) {
    std::vector<Ledge> of;
    for (const Ledge& ledge : watch.Ledges()) {
        if (ledge.window == IdOf(hwnd))
            of.push_back(ledge);
    }
    return of;
}

TEST(LedgeWatch, FollowsAnotherProgramsWindowsAndLeavesOutItsOwn) {
    // "ledge 2" is above "ledge 1" and hides the middle of its top edge. (A captioned window is
    // at least 112 pixels wide.)
    HostWindows host({L"100,400,400,200", L"250,350,150,150"});
    const auto shown = host.WaitForWindows(2);
    ASSERT_EQ(shown.size(), 2u) << "the driver's windows did not appear";
    const HWND low = shown.at(L"ledge 1");
    const HWND high = shown.at(L"ledge 2");
    HWND own = CreateWindowExW(0, L"STATIC", L"ours", WS_POPUP | WS_VISIBLE, 100, 700, 300, 100,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(own && IsWindowVisible(own));

    LedgeWatch watch;
    watch.BeginTick();
    EXPECT_EQ(LedgesOf(watch, low),
              (std::vector<Ledge>{{IdOf(low), 400 * kPx, 100 * kPx, 250 * kPx},
                                  {IdOf(low), 400 * kPx, 400 * kPx, 500 * kPx}}));
    EXPECT_EQ(LedgesOf(watch, high),
              (std::vector<Ledge>{{IdOf(high), 350 * kPx, 250 * kPx, 400 * kPx}}));
    EXPECT_TRUE(LedgesOf(watch, own).empty()) << "the player's own window counted as a ledge";

    struct Case {
        const char* name;
        HWND hwnd;
        void (*change)(HWND);
        bool there;  // still a window to stand on
        platform::Area rect;
    };
    const Case cases[] = {
        {"moved down and right",
         low,
         [](HWND h) {
             SetWindowPos(h, nullptr, 120, 500, 400, 200, SWP_NOZORDER | SWP_NOACTIVATE);
         },
         true,
         {120 * kPx, 500 * kPx, 520 * kPx, 700 * kPx}},
        {"minimised", low, [](HWND h) { ShowWindow(h, SW_MINIMIZE); }, false, {}},
        {"hidden", high, [](HWND h) { ShowWindow(h, SW_HIDE); }, false, {}},
        {"shown again",
         high,
         [](HWND h) { ShowWindow(h, SW_SHOWNOACTIVATE); },
         true,
         {250 * kPx, 350 * kPx, 400 * kPx, 500 * kPx}},
        {"closed",
         high,
         [](HWND h) {
             PostMessageW(h, WM_CLOSE, 0, 0);
             const ULONGLONG end = GetTickCount64() + kWaitMs;
             while (IsWindow(h) && GetTickCount64() < end)
                 Sleep(20);
         },
         false,
         {}},
    };
    for (const Case& c : cases) {
        c.change(c.hwnd);
        watch.BeginTick();
        const std::optional<platform::Area> now = watch.Check(IdOf(c.hwnd));
        ASSERT_EQ(now.has_value(), c.there) << c.name;
        watch.BeginTick();  // a window the list did not hold is read by the next tick
        if (c.there) {
            EXPECT_EQ(*now, c.rect) << c.name;
            ASSERT_FALSE(LedgesOf(watch, c.hwnd).empty()) << c.name << ": the list did not follow";
            EXPECT_EQ(LedgesOf(watch, c.hwnd).front().y, c.rect.top) << c.name;
        } else {
            EXPECT_TRUE(LedgesOf(watch, c.hwnd).empty()) << c.name << ": the list kept it";
        }
    }
    DestroyWindow(own);
}

}  // namespace
}  // namespace tovalin::motion

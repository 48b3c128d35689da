#include "platform/paths.h"
#include "platform/counters_win32.h"
#include "platform/folder_win32.h"
#include "platform/pump_win32.h"
#include "platform/screen_metrics_win32.h"
#include "platform/window_win32.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace tovalin::platform {
namespace {

class Probe final : public Window {
  public:
    bool Open() {
        WindowSpec desc;
        desc.className = L"tovalin.test.Probe";
        desc.exStyle = WS_EX_TOOLWINDOW;
        return Create(desc);
    }
    Timer timer{*this, 7};
    Timer watch{*this, 8, Timer::kRunsWhilePaused};
    int ticks = 0;
    int watchTicks = 0;
    int customs = 0;
    // A plain function, not a closure: a closure owned by the window could not survive the
    // window freeing itself from inside it.
    void (*onTick)(void*) = nullptr;
    void* context = nullptr;

  protected:
    LRESULT OnMessage(UINT msg, WPARAM wp, LPARAM lp) override {
        if (msg == WM_APP) {
            ++customs;
            return 42;
        }
        return Window::OnMessage(msg, wp, lp);
    }
    void OnTimer(UINT_PTR id) override {
        if (id == watch.Id())
            ++watchTicks;
        if (id != timer.Id())
            return;
        ++ticks;
        if (onTick)
            onTick(context);
    }
};

void PumpUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 400 && !done(); ++i) {
        PumpPendingMessages();
        ::Sleep(5);
    }
}

TEST(Window, ThunkRoutesToTheObjectUntilDestroyed) {
    Probe probe;
    ASSERT_TRUE(probe.Open());
    ASSERT_TRUE(::IsWindow(probe.hwnd()));
    EXPECT_EQ(::SendMessageW(probe.hwnd(), WM_APP, 0, 0), 42);
    EXPECT_EQ(probe.customs, 1);
    const HWND old = probe.hwnd();
    probe.DestroyNow();
    EXPECT_EQ(probe.hwnd(), nullptr);
    EXPECT_FALSE(::IsWindow(old));
}

TEST(Window, WatchSeesTheObjectGo) {
    auto probe = std::make_unique<Probe>();
    ASSERT_TRUE(probe->Open());
    const Watch watch = probe->MakeWatch();
    EXPECT_TRUE(watch.Alive());
    probe.reset();
    EXPECT_FALSE(watch.Alive());
}

TEST(Window, PositionsAreKeptInTwips) {
    Probe probe;
    ASSERT_TRUE(probe.Open());
    const double tx = TwipsPerPixelX();
    const double ty = TwipsPerPixelY();
    probe.MoveTwips(100 * tx, 50 * ty);
    probe.SizeTwips(49 * tx, 64 * ty);
    RECT r{};
    ::GetWindowRect(probe.hwnd(), &r);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.top, 50);
    EXPECT_EQ(r.right - r.left, 49);
    EXPECT_EQ(r.bottom - r.top, 64);
    EXPECT_DOUBLE_EQ(probe.LeftTwips(), 100 * tx);
    EXPECT_DOUBLE_EQ(probe.HeightTwips(), 64 * ty);
}

TEST(Timer, FiresWhileEnabledAndStopsWhenSwitchedOff) {
    Probe probe;
    ASSERT_TRUE(probe.Open());
    probe.timer.SetInterval(10);
    PumpUntil([&] { return probe.ticks >= 3; });
    EXPECT_GE(probe.ticks, 3);
    probe.timer.SetEnabled(false);
    PumpPendingMessages();
    const int stopped = probe.ticks;
    ::Sleep(60);
    PumpPendingMessages();
    EXPECT_EQ(probe.ticks, stopped);
}

TEST(Timer, PausedTimersStayQuietAndGoOnWithTheirSettingsAfterwards) {
    Probe probe;
    ASSERT_TRUE(probe.Open());
    probe.timer.SetInterval(10);
    probe.watch.SetInterval(10);
    PauseTimers(true);
    // A tick that ends while paused switches its timer on again: it still stays quiet.
    probe.timer.SetEnabled(false);
    probe.timer.SetEnabled(true);
    const int before = probe.ticks;
    PumpUntil([&] { return probe.watchTicks >= 3; });
    EXPECT_GE(probe.watchTicks, 3) << "a timer made to run while paused keeps running";
    ::Sleep(60);
    PumpPendingMessages();
    EXPECT_EQ(probe.ticks, before);
    EXPECT_TRUE(probe.timer.Enabled());
    EXPECT_EQ(probe.timer.Interval(), 10u);
    PauseTimers(false);
    PumpUntil([&] { return probe.ticks >= before + 2; });
    EXPECT_GE(probe.ticks, before + 2);
}

TEST(Timer, AWindowUnloadedInsideItsOwnTickIsNotTouchedAgain) {
    auto probe = std::make_unique<Probe>();
    ASSERT_TRUE(probe->Open());
    Probe* raw = probe.get();
    raw->context = &probe;
    raw->onTick = [](void* owner) { static_cast<std::unique_ptr<Probe>*>(owner)->reset(); };
    raw->timer.SetInterval(10);
    PumpUntil([&] { return probe == nullptr; });
    EXPECT_EQ(probe, nullptr);
}

TEST(Folder, ListsMatchingPlainFilesInNameOrder) {
    const std::wstring folder = TempFolderPath() + L"tovalin-list-テスト";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring names[] = {L"b.bmp", L"A.GIF", L"c.ico", L"readme.txt", L"d.gifs"};
    for (const auto& name : names) {
        HANDLE f = ::CreateFileW((folder + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                 CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        ::CloseHandle(f);
    }
    ::CreateDirectoryW((folder + L"\\sub.gif").c_str(), nullptr);
    const auto listed = ListFolder(folder, L"*.ico;*.bmp;*.gif");
    EXPECT_EQ(listed, (std::vector<std::wstring>{L"A.GIF", L"b.bmp", L"c.ico"}));
    EXPECT_TRUE(ListFolder(folder + L"\\missing", L"*.gif").empty());
    for (const auto& name : names)
        ::DeleteFileW((folder + L"\\" + name).c_str());
    ::RemoveDirectoryW((folder + L"\\sub.gif").c_str());
    ::RemoveDirectoryW(folder.c_str());
}

TEST(Folder, TempFolderEndsInASeparator) {
    const std::wstring temp = TempFolderPath();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ(temp.back(), L'\\');
    EXPECT_NE(temp.front(), L' ');
}

TEST(Counters, ASharedBlockCarriesOnTheCountsAndOthersCanReadThem) {
    EXPECT_FALSE(ReadSharedCounters(::GetCurrentProcessId())) << "shared before it was asked";
    Count(Counter::kPumpPass);
    const std::uint64_t before = (*CounterBlock())[static_cast<std::size_t>(Counter::kPumpPass)];
    ::SetEnvironmentVariableW(L"TOVALIN_COUNTERS", L"1");
    ShareCountersIfAsked();
    ::SetEnvironmentVariableW(L"TOVALIN_COUNTERS", nullptr);
    PumpPendingMessages();
    const std::optional<CounterValues> shared = ReadSharedCounters(::GetCurrentProcessId());
    ASSERT_TRUE(shared);
    EXPECT_EQ((*shared)[static_cast<std::size_t>(Counter::kPumpPass)], before + 1);
}

}  // namespace
}  // namespace tovalin::platform

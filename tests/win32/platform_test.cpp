#include "platform/paths.h"
#include "platform/counters_win32.h"
#include "platform/file_win32.h"
#include "platform/folder_win32.h"
#include "platform/handles_win32.h"
#include "platform/module_path.h"
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

class Painter final : public Window {
  public:
    bool Open(Painting painting) {
        WindowSpec desc;
        desc.className = L"tovalin.test.Painter";
        desc.exStyle = WS_EX_TOOLWINDOW;
        desc.painting = painting;
        return Create(desc);
    }
    int paints = 0;
    RECT painted{};
    bool paintedOnADc = false;

  protected:
    void OnPaint(HDC dc, const RECT& client) override {
        ++paints;
        painted = client;
        paintedOnADc = dc != nullptr;
    }
};

// A window that paints every pixel keeps the system from erasing first (the character would
// flash its bare background between frames); one that paints over the background lets it.
TEST(Window, PaintingGoesWhereTheDescriptionSays) {
    struct Case {
        Painting painting;
        bool paints;
        LRESULT eraseAnswer;  // no class brush: the system erases nothing and says 0
    };
    const Case cases[] = {{Painting::kSystem, false, 0},
                          {Painting::kOverBackground, true, 0},
                          {Painting::kWhole, true, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.painting));
        Painter painter;
        ASSERT_TRUE(painter.Open(c.painting));
        ASSERT_TRUE(::IsWindow(painter.hwnd()));
        ::SetWindowPos(painter.hwnd(), nullptr, 0, 0, 40, 30,
                       SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        ASSERT_TRUE(::IsWindowVisible(painter.hwnd()));
        ::InvalidateRect(painter.hwnd(), nullptr, FALSE);
        ::UpdateWindow(painter.hwnd());  // paints now, inside this call
        EXPECT_EQ(painter.paints > 0, c.paints);
        EXPECT_FALSE(::GetUpdateRect(painter.hwnd(), nullptr, FALSE)) << "left unpainted";
        if (c.paints) {
            RECT client{};
            ::GetClientRect(painter.hwnd(), &client);
            EXPECT_EQ(client.right, 40);
            EXPECT_TRUE(::EqualRect(&painter.painted, &client));
            EXPECT_TRUE(painter.paintedOnADc);
        }
        HDC dc = ::GetDC(painter.hwnd());
        ASSERT_NE(dc, nullptr);
        EXPECT_EQ(::SendMessageW(painter.hwnd(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0),
                  c.eraseAnswer);
        ::ReleaseDC(painter.hwnd(), dc);
    }
}

// Checks one owner type against a way to make its handle and a way to ask the system whether
// the handle is still open: closed exactly when the owner lets go of it, never on release.
template <typename Owner, typename Make, typename Open>
void ExpectOwnedUntilLetGo(Make make, Open open) {
    {
        Owner owner(make());
        const auto handle = owner.get();
        ASSERT_TRUE(owner) << "the system made no handle";
        ASSERT_TRUE(open(handle));
        owner.reset();
        EXPECT_FALSE(owner);
        EXPECT_FALSE(open(handle)) << "reset left it open";
    }
    {
        Owner first(make());
        const auto handle = first.get();
        Owner second(std::move(first));
        EXPECT_FALSE(first);
        EXPECT_EQ(second.get(), handle);
        EXPECT_TRUE(open(handle)) << "a move closed it";
        second = Owner(make());
        EXPECT_FALSE(open(handle)) << "an owner given another handle left the old one open";
    }
    {
        decltype(std::declval<Owner&>().get()) handle{};
        {
            const Owner owner(make());
            handle = owner.get();
        }
        EXPECT_FALSE(open(handle)) << "the end of the owner left it open";
    }
    {
        Owner owner(make());
        const auto handle = owner.release();
        EXPECT_FALSE(owner);
        EXPECT_TRUE(open(handle)) << "release closed it";
        owner.reset(handle);
    }
}

TEST(Handles, EveryOwnerClosesItsHandleWhenItLetsGoAndNotOnRelease) {
    const auto gdiOpen = [](auto handle) { return ::GetObjectType(handle) != 0; };
    const auto kernelOpen = [](HANDLE handle) {
        DWORD flags = 0;
        return ::GetHandleInformation(handle, &flags) != 0;
    };
    const std::wstring file = TempFolderPath() + L"tovalin-handles-テスト.tmp";
    const auto openFile = [&] {
        return ::CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    };
    {
        SCOPED_TRACE("region");
        ExpectOwnedUntilLetGo<UniqueHrgn>([] { return ::CreateRectRgn(0, 0, 4, 4); }, gdiOpen);
    }
    {
        SCOPED_TRACE("brush");
        ExpectOwnedUntilLetGo<UniqueHbrush>([] { return ::CreateSolidBrush(RGB(1, 2, 3)); },
                                            gdiOpen);
    }
    {
        SCOPED_TRACE("pen");
        ExpectOwnedUntilLetGo<UniqueHpen>([] { return ::CreatePen(PS_SOLID, 1, RGB(1, 2, 3)); },
                                          gdiOpen);
    }
    {
        SCOPED_TRACE("bitmap");
        ExpectOwnedUntilLetGo<UniqueHbitmap>([] { return ::CreateBitmap(2, 2, 1, 32, nullptr); },
                                             gdiOpen);
    }
    {
        SCOPED_TRACE("memory DC");
        ExpectOwnedUntilLetGo<UniqueHdc>([] { return ::CreateCompatibleDC(nullptr); }, gdiOpen);
    }
    {
        SCOPED_TRACE("menu");
        ExpectOwnedUntilLetGo<UniqueHmenu>([] { return ::CreatePopupMenu(); },
                                           [](HMENU menu) { return ::IsMenu(menu) != FALSE; });
    }
    {
        SCOPED_TRACE("event");
        ExpectOwnedUntilLetGo<UniqueKernelHandle>(
            [] { return ::CreateEventW(nullptr, TRUE, FALSE, nullptr); }, kernelOpen);
    }
    {
        SCOPED_TRACE("file");
        ExpectOwnedUntilLetGo<UniqueFile>(openFile, kernelOpen);
    }
    ::DeleteFileW(file.c_str());
}

// Files and searches report failure as INVALID_HANDLE_VALUE, everything else as null: each
// owner counts both as holding nothing and hands back its own kind of nothing.
TEST(Handles, EmptyOwnersHoldTheirKindOfNothing) {
    EXPECT_EQ(UniqueFile().get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(UniqueFind().release(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(UniqueHrgn().get(), nullptr);
    EXPECT_EQ(UniqueKernelHandle().release(), nullptr);
    EXPECT_FALSE(UniqueFile());
    EXPECT_FALSE(UniqueFile(nullptr));
    EXPECT_FALSE(UniqueFind(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(UniqueKernelHandle(nullptr));
    WIN32_FIND_DATAW found{};
    const UniqueFind missing(
        ::FindFirstFileW((TempFolderPath() + L"tovalin-no-such-folder\\*").c_str(), &found));
    EXPECT_FALSE(missing);
}

// The player, the studio and the packer all find what lies beside them through this one path.
TEST(ModulePath, NamesThisProgramAsThePlayerRebuildsIt) {
    const std::wstring self = ModulePath();
    ASSERT_FALSE(self.empty()) << "the system did not say where this program is";
    EXPECT_TRUE(FileExists(self));
    EXPECT_EQ(BaseName(self), L"tovalin-win32-tests");
    EXPECT_EQ(ExePath(), self);
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

// Start-up benchmark: from process creation to the first shaped character window, against two
// floors under the same system: a minimal program that shows one window
// (tovalin-startup-floor.exe), and one that does the work a character's start-up cannot leave
// out, on the same character (tovalin-startup-work-floor.exe).
//
//   tovalin-startup-win32.exe CHARACTER.exe [RUNS]
//
// Runs the character RUNS times (default 9) and each floor as often, in rounds whose order turns
// so that none of the three always follows the same one, and prints the medians, the ratios and
// the spread of each. The temporary files go into a private folder that is removed afterwards.
#include "platform/module_path.h"
#include "platform/handles_win32.h"
#include "support/support_win32.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

namespace {

double NowMs() {
    return tovalin::support::NowSeconds() * 1000.0;
}

struct Search {
    DWORD pid;
    bool needRegion;
    bool found;
};

BOOL CALLBACK FindWindowOf(HWND hwnd, LPARAM lp) {
    auto* search = reinterpret_cast<Search*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid != search->pid || !::IsWindowVisible(hwnd))
        return TRUE;
    if (search->needRegion) {
        HRGN region = ::CreateRectRgn(0, 0, 0, 0);
        const int kind = ::GetWindowRgn(hwnd, region);
        ::DeleteObject(region);
        if (kind == ERROR || kind == NULLREGION)
            return TRUE;
    }
    search->found = true;
    return FALSE;
}

// Milliseconds from CreateProcess to the first visible (shaped) window of the child, or -1.
double TimeToFirstWindow(std::wstring commandLine, const wchar_t* environment, bool needRegion) {
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    const double start = NowMs();
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                          CREATE_UNICODE_ENVIRONMENT, const_cast<wchar_t*>(environment), nullptr,
                          &si, &pi)) {
        return -1;
    }
    double elapsed = -1;
    Search search{pi.dwProcessId, needRegion, false};
    while (NowMs() - start < 20000) {
        ::EnumWindows(FindWindowOf, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            elapsed = NowMs() - start;
            break;
        }
        if (::WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0)
            break;
        ::Sleep(1);
    }
    ::TerminateProcess(pi.hProcess, 0);
    ::WaitForSingleObject(pi.hProcess, 5000);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return elapsed;
}

// A tray icon of this program's own for as long as it lives. A character's tray icon is the
// only one on a bare Xvfb desktop: when the character ends, Wine hides its stand-alone tray
// window and, with no window manager to confirm it, waits two seconds during which the next
// program cannot start. With this icon the tray window stays up, as on any real desktop.
class TrayIcon {
  public:
    TrayIcon() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = ::DefWindowProcW;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"tovalin.bench.tray";
        ::RegisterClassW(&wc);
        icon_.cbSize = sizeof(icon_);
        icon_.hWnd = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                       nullptr, wc.hInstance, nullptr);
        icon_.uID = 1;
        icon_.uFlags = NIF_ICON | NIF_TIP;
        icon_.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
        std::wcscpy(icon_.szTip, L"tovalin start-up benchmark");
        added_ = icon_.hWnd && ::Shell_NotifyIconW(NIM_ADD, &icon_);
    }
    ~TrayIcon() {
        if (added_)
            ::Shell_NotifyIconW(NIM_DELETE, &icon_);
        if (icon_.hWnd)
            ::DestroyWindow(icon_.hWnd);
    }
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

  private:
    NOTIFYICONDATAW icon_{};
    bool added_ = false;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

// The spread of the runs: on a shared, noisy machine a median alone cannot tell a real change
// from a lucky session.
void PrintSpread(const char* what, std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    std::printf("  %-8s min %.1f  quartiles %.1f / %.1f / %.1f  max %.1f ms\n", what,
                values.front(), values[n / 4], values[n / 2], values[(3 * n) / 4], values.back());
}

// A program built beside this one.
std::wstring Beside(const wchar_t* name) {
    std::wstring path = tovalin::platform::ModulePath();
    path.erase(path.find_last_of(L'\\') + 1);
    return path + name;
}

std::wstring Quoted(const std::wstring& path) {
    return L"\"" + path + L"\"";
}

// One program the benchmark starts, and the times it took to its first window.
struct Contender {
    std::wstring commandLine;
    bool needRegion;
    std::vector<double> times;
};

double MedianRatio(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i)
        ratios.push_back(a[i] / b[i]);
    return Median(ratios);
}

void RemoveFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    const tovalin::platform::UniqueFind search(::FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (search) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                ::DeleteFileW((folder + L"\\" + found.cFileName).c_str());
            }
        } while (::FindNextFileW(search.get(), &found));
    }
    ::RemoveDirectoryW(folder.c_str());
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: %ls CHARACTER.exe [RUNS]\n", argv[0]);
        return 2;
    }
    const int runs = argc >= 3 ? std::max(1, _wtoi(argv[2])) : 9;
    const std::wstring floorProgram = Beside(L"tovalin-startup-floor.exe");
    const std::wstring workProgram = Beside(L"tovalin-startup-work-floor.exe");
    for (const std::wstring& program : {floorProgram, workProgram}) {
        if (::GetFileAttributesW(program.c_str()) == INVALID_FILE_ATTRIBUTES) {
            std::fwprintf(stderr, L"a floor program is missing: %ls\n", program.c_str());
            return 1;
        }
    }
    wchar_t tempBase[MAX_PATH];
    ::GetTempPathW(MAX_PATH, tempBase);
    const std::wstring temp = std::wstring(tempBase) + L"tovalin-bench-startup";
    ::CreateDirectoryW(temp.c_str(), nullptr);
    std::vector<wchar_t> environment = tovalin::support::EnvironmentWithTemp(temp);

    const TrayIcon tray;
    Contender contenders[] = {{Quoted(argv[1]), true, {}},
                              {Quoted(floorProgram), false, {}},
                              {Quoted(workProgram) + L" " + Quoted(argv[1]), true, {}}};
    constexpr std::size_t kContenders = std::size(contenders);
    for (int i = 0; i < runs; ++i) {
        for (std::size_t k = 0; k < kContenders; ++k) {
            Contender& c = contenders[(k + static_cast<std::size_t>(i)) % kContenders];
            const double ms = TimeToFirstWindow(c.commandLine, environment.data(), c.needRegion);
            if (ms < 0) {
                std::fwprintf(stderr, L"run %d: no window appeared for %ls\n", i + 1,
                              c.commandLine.c_str());
                RemoveFolder(temp);
                return 1;
            }
            c.times.push_back(ms);
        }
    }
    RemoveFolder(temp);
    const std::vector<double>& player = contenders[0].times;
    const std::vector<double>& floor = contenders[1].times;
    const std::vector<double>& work = contenders[2].times;
    const double mp = Median(player), mf = Median(floor), mw = Median(work);
    std::printf("start-up to first shaped window: %.1f ms (median of %d)\n", mp, runs);
    std::printf("minimal one-window program:      %.1f ms, ratio %.2f (of paired runs %.2f)\n", mf,
                mp / mf, MedianRatio(player, floor));
    std::printf(
        "work floor (unpack, tray icon, shaped window): %.1f ms, ratio %.2f "
        "(of paired runs %.2f)\n",
        mw, mp / mw, MedianRatio(player, work));
    PrintSpread("player", player);
    PrintSpread("floor", floor);
    PrintSpread("work", work);
    std::printf("STARTUP player_ms=%.1f floor_ms=%.1f work_floor_ms=%.1f runs=%d\n", mp, mf, mw,
                runs);
    return 0;
}

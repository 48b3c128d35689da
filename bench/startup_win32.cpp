// Start-up benchmark: from process creation to the first shaped character window, against a
// minimal program that shows one window (the floor), under the same system.
//
//   tovalin-startup-win32.exe CHARACTER.exe [RUNS]
//
// Runs the character RUNS times (default 9) and the floor, tovalin-startup-floor.exe, as often,
// and prints the median of each and their ratio. The character's temporary files go into a
// private folder that is removed afterwards.
#include "platform/handles_win32.h"
#include "support/support_win32.h"

#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
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

// The floor program, tovalin-startup-floor.exe, found beside this one.
std::wstring FloorProgram() {
    wchar_t self[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, length);
    path.erase(path.find_last_of(L'\\') + 1);
    return path + L"tovalin-startup-floor.exe";
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
    const std::wstring floorProgram = FloorProgram();
    if (::GetFileAttributesW(floorProgram.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::fwprintf(stderr, L"the floor program is missing: %ls\n", floorProgram.c_str());
        return 1;
    }
    wchar_t tempBase[MAX_PATH];
    ::GetTempPathW(MAX_PATH, tempBase);
    const std::wstring temp = std::wstring(tempBase) + L"tovalin-bench-startup";
    ::CreateDirectoryW(temp.c_str(), nullptr);
    std::vector<wchar_t> environment = tovalin::support::EnvironmentWithTemp(temp);

    const TrayIcon tray;
    std::vector<double> player, floor;
    for (int i = 0; i < runs; ++i) {
        const double p =
            TimeToFirstWindow(L"\"" + std::wstring(argv[1]) + L"\"", environment.data(), true);
        const double f = TimeToFirstWindow(L"\"" + floorProgram + L"\"",
                                           environment.data(), false);
        if (p < 0 || f < 0) {
            std::fwprintf(stderr, L"run %d: no window appeared\n", i + 1);
            RemoveFolder(temp);
            return 1;
        }
        player.push_back(p);
        floor.push_back(f);
    }
    RemoveFolder(temp);
    const double mp = Median(player), mf = Median(floor);
    std::printf("start-up to first shaped window: %.1f ms (median of %d)\n", mp, runs);
    std::printf("minimal one-window program:      %.1f ms (median of %d)\n", mf, runs);
    std::printf("ratio:                           %.2f\n", mp / mf);
    PrintSpread("player", player);
    PrintSpread("floor", floor);
    std::printf("STARTUP player_ms=%.1f floor_ms=%.1f runs=%d\n", mp, mf, runs);
    return 0;
}

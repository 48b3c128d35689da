#include "platform/system_win32.h"

#include "platform/counters.h"
#include "platform/handles_win32.h"
#include "platform/paths.h"
#include "platform/text_win32.h"
#include "platform/units.h"
#include "platform/wildcard.h"
#include "platform/window_win32.h"

#include <commctrl.h>

#include <algorithm>

namespace tovalin::platform {

void ShowMessage(std::wstring_view text, std::wstring_view caption, UINT flags) {
    std::wstring t(text);
    std::wstring c(caption);
    ::MessageBoxW(nullptr, t.c_str(), c.c_str(), MB_OK | MB_SETFOREGROUND | MB_TASKMODAL | flags);
}

void PumpPendingMessages() {
    // Only posted, sent and paint messages, timers included. Keyboard and mouse input stays
    // queued for the loop that reads it, which may be a popup menu's, a move loop's or a
    // dialog's: taken here, a key or a click meant for such a loop would be lost.
    constexpr UINT kRemove = PM_REMOVE | PM_QS_POSTMESSAGE | PM_QS_PAINT | PM_QS_SENDMESSAGE;
    Count(Counter::kPumpPass);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, kRemove)) {
        Count(Counter::kMessage);
        if (msg.message == WM_QUIT) {
            // Leave the quit request for the main loop.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

void EndProcessNow(UINT exitCode) {
    ::ExitProcess(exitCode);
}

namespace {

std::vector<void (*)()>& FatalCleanups() {
    static std::vector<void (*)()> cleanups;
    return cleanups;
}

}  // namespace

void AtFatalExit(void (*cleanup)()) {
    FatalCleanups().push_back(cleanup);
}

void FatalExit(std::wstring_view message) {
    // The message box runs a modal loop; no timer may start new work behind it.
    SuppressAllTimers();
    ShowMessage(message, kAppTitle, MB_ICONERROR);
    for (void (*cleanup)() : FatalCleanups())
        Ignoring(cleanup);
    EndProcessNow(1);
}

void ReportFailure(const char* where, const char* what) noexcept {
    try {
        std::wstring text = L"予期しないエラーが発生しました。\n(" + FromUtf8(where) + L": " +
                            FromUtf8(what) + L")";
        ShowMessage(text, kAppTitle, MB_ICONERROR);
    } catch (...) {
        ::MessageBoxW(nullptr, L"予期しないエラーが発生しました。", kAppTitle,
                      MB_OK | MB_ICONERROR);
    }
}

int ScreenDcDpi() {
    const ScreenDc dc;
    const int value = dc.get() ? ::GetDeviceCaps(dc.get(), LOGPIXELSX) : 96;
    return value > 0 ? value : 96;
}

namespace {

HMONITOR PrimaryMonitor() {
    return ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
}

}  // namespace

// The primary monitor's effective resolution where the system can tell it per monitor.
int QueryPrimaryDpi() {
    using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    static const auto getDpiForMonitor =
        SystemFunction<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor");
    if (getDpiForMonitor) {
        UINT x = 0, y = 0;
        constexpr int kEffectiveDpi = 0;
        if (SUCCEEDED(getDpiForMonitor(PrimaryMonitor(), kEffectiveDpi, &x, &y)) && x > 0)
            return static_cast<int>(x);
    }
    return ScreenDcDpi();
}

bool OnPrimaryDisplay(HWND hwnd) {
    return ::MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST) == PrimaryMonitor();
}

namespace {

// Read once and then kept: the motion asks several times per character and tick, and asking
// the system takes a screen DC. A change arrives as a message and is recorded.
int& CurrentDpi() {
    static int dpi = 0;
    return dpi;
}

}  // namespace

void* SystemFunctionAddress(const wchar_t* module, const char* name) {
    HMODULE handle = ::GetModuleHandleW(module);
    if (!handle)
        handle = ::LoadLibraryW(module);
    return handle ? reinterpret_cast<void*>(::GetProcAddress(handle, name)) : nullptr;
}

void LoadCommonControls() {
    using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    static const bool loaded = [] {
        const auto init = SystemFunction<InitFn>(L"comctl32.dll", "InitCommonControlsEx");
        const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
        return init && init(&controls);
    }();
    (void)loaded;
}

void DeclareDpiAwareness() {
    using SetContextFn = BOOL(WINAPI*)(HANDLE);
    const auto setContext =
        SystemFunction<SetContextFn>(L"user32.dll", "SetProcessDpiAwarenessContext");
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2; the manifest may have declared it already.
    const auto perMonitorV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
    if (setContext && setContext(perMonitorV2))
        return;
    if (setContext && ::GetLastError() == ERROR_ACCESS_DENIED)
        return;  // already declared, by the manifest
    ::SetProcessDPIAware();
}

int DisplayDpi() {
    int& dpi = CurrentDpi();
    if (dpi <= 0)
        dpi = QueryPrimaryDpi();
    return dpi;
}

void SetDisplayDpi(int dpi) {
    CurrentDpi() = dpi > 0 ? dpi : 0;
    ForgetScreenMetrics();
}

int DisplayScale() {
    return ScaleForDpi(DisplayDpi());
}

int SmallIconSize() {
    using MetricsForDpiFn = int(WINAPI*)(int, UINT);
    static const auto metricsForDpi =
        SystemFunction<MetricsForDpiFn>(L"user32.dll", "GetSystemMetricsForDpi");
    const int size = metricsForDpi ? metricsForDpi(SM_CXSMICON, static_cast<UINT>(DisplayDpi()))
                                   : ::GetSystemMetrics(SM_CXSMICON);
    return size > 0 ? size : 16;
}

double TwipsPerPixelX() {
    return 1440.0 / DisplayDpi();
}
double TwipsPerPixelY() {
    return 1440.0 / DisplayDpi();
}
namespace {

struct ScreenMetrics {
    bool known = false;
    int width = 0;           // pixels
    int height = 0;          // pixels
    int freeAreaHeight = 0;  // pixels
};

ScreenMetrics& KnownScreenMetrics() {
    static ScreenMetrics metrics;
    return metrics;
}

// Some systems (Wine among them) report a full-screen client height taller than the screen,
// which would sink a floor drawn from it below the screen's bottom edge: the free area never
// reaches below the work area.
int MeasureFreeAreaHeight() {
    int pixels = ::GetSystemMetrics(SM_CYFULLSCREEN) + ::GetSystemMetrics(SM_CYCAPTION);
    RECT work{};
    if (::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
        pixels = std::min<int>(pixels, work.bottom);
    return pixels;
}

const ScreenMetrics& CurrentScreenMetrics() {
    ScreenMetrics& metrics = KnownScreenMetrics();
    if (!metrics.known) {
        metrics.width = ::GetSystemMetrics(SM_CXSCREEN);
        metrics.height = ::GetSystemMetrics(SM_CYSCREEN);
        metrics.freeAreaHeight = MeasureFreeAreaHeight();
        metrics.known = true;
    }
    return metrics;
}

}  // namespace

void ForgetScreenMetrics() {
    KnownScreenMetrics().known = false;
}

double ScreenWidthTwips() {
    return CurrentScreenMetrics().width * TwipsPerPixelX();
}
double ScreenHeightTwips() {
    return CurrentScreenMetrics().height * TwipsPerPixelY();
}
int FreeAreaHeightPixels() {
    return CurrentScreenMetrics().freeAreaHeight;
}

std::wstring ModulePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring ExePath() {
    return ComposeExePath(ModulePath());
}

std::wstring TempFolderPath() {
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
    std::wstring path = TrimBlanks(std::wstring_view(buffer, n <= MAX_PATH ? n : 0));
    if (!path.empty() && path.back() != L'\\')
        path += L'\\';
    return path;
}

bool FileExists(const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::uint64_t> FileLength(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return std::nullopt;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool DeleteFileNow(const std::wstring& path) {
    return ::DeleteFileW(path.c_str()) != 0;
}

std::vector<std::wstring> ListFolder(const std::wstring& folder, std::wstring_view patterns) {
    std::vector<std::wstring> names;
    const std::vector<std::wstring> wanted = SplitPatterns(patterns);
    WIN32_FIND_DATAW found{};
    const UniqueFind search(::FindFirstFileW(JoinFolder(folder, L"*").c_str(), &found));
    if (!search)
        return names;
    do {
        // A file list shows plain files only: no folders, hidden or system files.
        constexpr DWORD kSkipped =
            FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        if (found.dwFileAttributes & kSkipped)
            continue;
        std::wstring_view name(found.cFileName);
        // Matching here, not in FindFirstFile, keeps short 8.3 names from matching
        // "*.gif" against "x.gifs".
        if (std::any_of(wanted.begin(), wanted.end(),
                        [&](const std::wstring& p) { return WildcardMatch(p, name); })) {
            names.emplace_back(name);
        }
    } while (::FindNextFileW(search.get(), &found));
    std::sort(names.begin(), names.end(),
              [](const std::wstring& a, const std::wstring& b) { return FileListLess(a, b); });
    return names;
}

std::wstring LastErrorText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const UniqueLocalMemory owned(text);
    std::wstring result = n ? std::wstring(text, n) : L"";
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r'))
        result.pop_back();
    if (result.empty())
        result = L"エラー " + std::to_wstring(error);
    return result;
}

}  // namespace tovalin::platform

#include "ui/tray_win32.h"

#include "package/unpack_win32.h"
#include "platform/paths.h"
#include "platform/picture_win32.h"
#include "platform/file_win32.h"
#include "platform/guard_win32.h"
#include "platform/module_path.h"
#include "platform/pump_win32.h"
#include "platform/screen_metrics_win32.h"
#include "platform/text_win32.h"
#include "ui/menu_win32.h"

#include <cstring>

namespace tovalin::ui {

namespace {

constexpr UINT kStartWatch = WM_APP + 1;

// The first, ANSI form of the record: 88 bytes in the 32-bit build, that form's own layout (104
// bytes, with its pointer alignment) in the 64-bit one.
constexpr DWORD kRecordSize = sizeof(NotifyIconRecord);
static_assert(kRecordSize == NOTIFYICONDATAA_V1_SIZE);
static_assert(sizeof(void*) != 4 || kRecordSize == 88);

BOOL NotifyIcon(DWORD message, NotifyIconRecord& record) {
    return ::Shell_NotifyIconA(message, reinterpret_cast<NOTIFYICONDATAA*>(&record));
}

// The tip holds 63 bytes of the ANSI code page and a NUL; a name that is longer is cut at a
// character boundary so no double-byte character is split.
void FillTip(char (&tip)[64], const std::wstring& name) {
    std::memset(tip, ' ', sizeof(tip));
    std::wstring cut = name.substr(0, 63);
    std::string ansi;
    for (;;) {
        const int n = ::WideCharToMultiByte(CP_ACP, 0, cut.c_str(), static_cast<int>(cut.size()),
                                            nullptr, 0, nullptr, nullptr);
        if (n <= 63 || cut.empty()) {
            ansi.resize(static_cast<std::size_t>(n));
            ::WideCharToMultiByte(CP_ACP, 0, cut.c_str(), static_cast<int>(cut.size()), ansi.data(),
                                  n, nullptr, nullptr);
            break;
        }
        cut.pop_back();
    }
    std::memcpy(tip, ansi.data(), ansi.size());
    tip[ansi.size()] = '\0';
}

}  // namespace

void RemoveTrayIcon() {
    if (frmControl* host = frmControl::IfLoaded()) {
        NotifyIconRecord record{};
        record.cbSize = kRecordSize;
        record.hWnd = host->hwnd();
        record.uID = kTrayIconId;
        NotifyIcon(NIM_DELETE, record);
    }
}

frmControl::frmControl() : taskbarCreated_(::RegisterWindowMessageW(L"TaskbarCreated")) {}

platform::WindowSpec frmControl::Description() {
    return {.className = L"tovalin.frmControl", .title = kName, .exStyle = WS_EX_TOOLWINDOW};
}

// The tray shows the icon at the small-icon size of the display's resolution. An icon the
// notification record names is kept alive even when the window takes another one: the record
// is added again whenever the shell restarts.
void frmControl::SetWindowIcon(const std::wstring& path) {
    platform::UniqueHicon icon = platform::LoadIconFile(path, platform::SmallIconSize());
    platform::SetWindowIcons(hwnd(), icon.get());
    if (windowIcon_ && windowIcon_.get() == record_.hIcon)
        recordIcon_ = std::move(windowIcon_);
    windowIcon_ = std::move(icon);
}

void frmControl::Form_Load() {
    if (!package::gTempFiles.empty())
        SetWindowIcon(package::UnpackedPath(0));
    Show(false);
    record_ = NotifyIconRecord{};
    record_.cbSize = kRecordSize;
    record_.hWnd = hwnd();
    record_.uID = kTrayIconId;
    record_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record_.uCallbackMessage = kTrayCallback;
    record_.hIcon = windowIcon_.get();
    FillTip(record_.szTip, platform::BaseName(platform::ModulePath()));
    AddTrayIcon();
    // The watch starts once start-up is over: nothing of it is needed to show the characters.
    ::PostMessageW(hwnd(), kStartWatch, 0, 0);
}

void frmControl::AddTrayIcon() {
    NotifyIcon(NIM_ADD, record_);
}

// From the removal on, every error is ignored: a file that cannot be deleted is skipped.
void frmControl::Form_Unload() {
    RemoveTrayIcon();
    const std::size_t count = package::gTempFiles.size();
    for (std::size_t i = 0; i < count && i < package::gTempFiles.size(); ++i) {
        platform::Ignoring([&] { platform::DeleteFileNow(package::UnpackedPath(i)); });
        platform::PumpPendingMessages();
    }
}

LRESULT frmControl::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kTrayCallback) {
        Form_MouseMove(lp);
        return 0;
    }
    if (msg == kStartWatch) {
        away_.Start();
        return 0;
    }
    if (away_.OnMessage(msg, wp, lp))
        return msg == WM_POWERBROADCAST ? TRUE : 0;
    if (taskbarCreated_ != 0 && msg == taskbarCreated_) {
        // The shell restarted and forgot every icon: without ours the program has no interface.
        AddTrayIcon();
        return 0;
    }
    return Window::OnMessage(msg, wp, lp);
}

void frmControl::OnTimer(UINT_PTR id) {
    away_.OnTimer(id);
}

void frmControl::Form_MouseMove(LPARAM lp) {
    ::SetForegroundWindow(hwnd());
    if (LOWORD(lp) == kTrayOpenMenuCode)
        frmMenu::Get().PopupMpop();
}

}  // namespace tovalin::ui

#include "ui/tray_win32.h"

#include "app/globals.h"
#include "app/paths.h"
#include "app/shutdown_win32.h"
#include "platform/system_win32.h"
#include "platform/text_win32.h"
#include "ui/menu_win32.h"

#include <cstring>
#include <memory>
#include <stdexcept>

namespace tovalin::ui {

namespace {

constexpr const wchar_t* kControlClass = L"tovalin.frmControl";
// The first, ANSI form of the record: 88 bytes in the 32-bit build, that form's own layout (104
// bytes, with its pointer alignment) in the 64-bit one.
constexpr DWORD kRecordSize = sizeof(NotifyIconRecord);
static_assert(kRecordSize == NOTIFYICONDATAA_V1_SIZE);
static_assert(sizeof(void*) != 4 || kRecordSize == 88);

BOOL NotifyIcon(DWORD message, NotifyIconRecord& record) {
    return ::Shell_NotifyIconA(message, reinterpret_cast<NOTIFYICONDATAA*>(&record));
}

std::unique_ptr<frmControl>& ControlSlot() {
    static std::unique_ptr<frmControl> slot;
    return slot;
}

HICON LoadIconFile(const std::wstring& path) {
    return static_cast<HICON>(
        ::LoadImageW(nullptr, path.c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE | LR_DEFAULTSIZE));
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

void RemoveRegisteredTrayIcon() {
    if (frmControl* host = frmControl::IfLoaded()) {
        NotifyIconRecord record{};
        record.cbSize = kRecordSize;
        record.hWnd = host->hwnd();
        record.uID = kTrayIconId;
        NotifyIcon(NIM_DELETE, record);
    }
}

}  // namespace

frmControl& frmControl::Get() {
    auto& slot = ControlSlot();
    if (!slot) {
        slot.reset(new frmControl());
        slot->Load();
        slot->Form_Load();
    }
    return *slot;
}

frmControl* frmControl::IfLoaded() {
    return ControlSlot().get();
}

void frmControl::Unload() {
    auto& slot = ControlSlot();
    if (!slot)
        return;
    slot->Form_Unload();
    std::unique_ptr<frmControl> gone = std::move(slot);
    gone->DestroyNow();
    app::RetireWindow(std::move(gone));
}

bool frmControl::Load() {
    platform::WindowSpec desc;
    desc.className = kControlClass;
    desc.title = L"frmControl";
    desc.exStyle = WS_EX_TOOLWINDOW;
    taskbarCreated_ = ::RegisterWindowMessageW(L"TaskbarCreated");
    return Create(desc);
}

void frmControl::SetWindowIcon(const std::wstring& path) {
    platform::UniqueHicon icon(LoadIconFile(path));
    if (!icon) {
        throw std::runtime_error("アイコンファイル「" + platform::ToUtf8(path) +
                                 "」を読み込めませんでした。");
    }
    ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon.get()));
    ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon.get()));
    windowIcon_ = std::move(icon);
}

void frmControl::Form_Load() {
    const std::wstring temp = platform::TempFolderPath();
    if (!app::gTempFiles.empty()) {
        SetWindowIcon(temp + platform::FromCp932(app::gTempFiles.front().szFileName));
    }
    Show(false);
    record_ = NotifyIconRecord{};
    record_.cbSize = kRecordSize;
    record_.hWnd = hwnd();
    record_.uID = kTrayIconId;
    record_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record_.uCallbackMessage = kTrayCallback;
    record_.hIcon = windowIcon_.get();
    FillTip(record_.szTip, app::BaseName(platform::ModulePath()));
    AddTrayIcon();
    app::SetTrayRemoval(&RemoveRegisteredTrayIcon);
}

void frmControl::AddTrayIcon() {
    iconAdded_ = NotifyIcon(NIM_ADD, record_) != 0;
}

void frmControl::RemoveTrayIcon() {
    RemoveRegisteredTrayIcon();
    iconAdded_ = false;
}

void frmControl::Form_Unload() {
    RemoveTrayIcon();
    app::SetTrayRemoval(nullptr);
    app::DeleteUnpackedFiles();
}

LRESULT frmControl::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == kTrayCallback) {
        Form_MouseMove(lp);
        return 0;
    }
    if (taskbarCreated_ != 0 && msg == taskbarCreated_) {
        // The shell restarted and forgot every icon: without ours the program has no interface.
        AddTrayIcon();
        return 0;
    }
    return Window::OnMessage(msg, wp, lp);
}

void frmControl::Form_MouseMove(LPARAM lp) {
    ::SetForegroundWindow(hwnd());
    if (LOWORD(lp) == kTrayOpenMenuCode)
        frmMenu::Get().PopupMpop();
}

}  // namespace tovalin::ui

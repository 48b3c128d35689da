#include "studio/studio_window_win32.h"

#include <commctrl.h>
#include <shellapi.h>

#include <new>

#include "package/package.h"
#include "platform/picture_win32.h"
#include "platform/text_win32.h"
#include "studio/controls_win32.h"

namespace tovalin::studio {

namespace fs = std::filesystem;

namespace {

constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_ACCEPTFILES | WS_EX_CONTROLPARENT;
constexpr UINT kOpenPending = WM_APP + 1;
constexpr UINT_PTR kReaperTimer = 2;
constexpr UINT kReaperMs = 500;
constexpr std::size_t kProblemsShown = 8;
constexpr COLORREF kWarningText = RGB(0xC0, 0x00, 0x00);

std::wstring Wide(const char* utf8) {
    return platform::FromUtf8(utf8);
}

// One message for a batch's problems; a long list is cut short.
std::wstring ProblemsText(const std::vector<std::string>& problems) {
    std::wstring text;
    for (std::size_t i = 0; i < problems.size() && i < kProblemsShown; ++i)
        text += platform::FromUtf8(problems[i]) + L"\n";
    if (problems.size() > kProblemsShown)
        text += L"ほか " + std::to_wstring(problems.size() - kProblemsShown) + L" 件";
    return text;
}

// Files dropped from Explorer, in the order it gives them.
std::vector<fs::path> DroppedPaths(HDROP drop) {
    std::vector<fs::path> paths;
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        ::DragQueryFileW(drop, i, path.data(), length + 1);
        path.resize(length);
        paths.emplace_back(path);
    }
    return paths;
}

BOOL CALLBACK SetFontOf(HWND child, LPARAM font) {
    ::SendMessageW(child, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
    return TRUE;
}

}  // namespace

platform::WindowSpec frmStudio::Description() {
    return {.className = L"tovalin.Studio",
            .title = kStudioTitle,
            .style = kStyle,
            .exStyle = kExStyle,
            .classIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1)),
            .background = ::GetSysColorBrush(COLOR_BTNFACE)};
}

frmStudio::frmStudio() : reaper_(*this, kReaperTimer) {}

void frmStudio::Form_Load() {
    dpi_ = WindowDpi(hwnd());
    font_ = MakeUiFont(dpi_);
    CreateControls();
    PlaceWindow();
    Refresh(-1);
}

void frmStudio::Form_Unload() {
    trials_.EndAll();
}

void frmStudio::CreateControls() {
    const HWND self = hwnd();
    const HFONT font = font_.get();
    const DWORD label = SS_LEFT | SS_NOPREFIX;
    const DWORD button = BS_PUSHBUTTON | WS_TABSTOP;
    framesLabel_ =
        MakeControl(self, WC_STATICW, L"", label, kIdFramesLabel, Part::kFramesLabel, dpi_, font);
    list_.Create(self, dpi_, font);
    add_ = MakeControl(self, WC_BUTTONW, L"追加…", button, kIdAdd, Part::kAdd, dpi_, font);
    up_ = MakeControl(self, WC_BUTTONW, L"上へ", button, kIdUp, Part::kUp, dpi_, font);
    down_ = MakeControl(self, WC_BUTTONW, L"下へ", button, kIdDown, Part::kDown, dpi_, font);
    remove_ = MakeControl(self, WC_BUTTONW, L"削除", button, kIdRemove, Part::kRemove, dpi_, font);
    dropHint_ = MakeControl(self, WC_STATICW,
                            L"画像のファイルやフォルダーをこの画面にドロップしても追加できます。",
                            label, 0, Part::kDropHint, dpi_, font);
    previewLabel_ = MakeControl(self, WC_STATICW, L"プレビュー（プレイヤーでの見え方）", label, 0,
                                Part::kPreviewLabel, dpi_, font);
    preview_.Create(self, dpi_, font);
    icon_.Create(self, dpi_, font);
    settings_.Create(self, dpi_, font, project_.settings);
    try_ = MakeControl(self, WC_BUTTONW, L"試しに動かす", button, kIdTry, Part::kTry, dpi_, font);
    create_ =
        MakeControl(self, WC_BUTTONW, L"単体EXE作成", button, kIdCreate, Part::kCreate, dpi_, font);
}

// The window's client area is the arrangement's, centred on the work area of its monitor, or
// at the work area's corner where it is larger.
void frmStudio::PlaceWindow() {
    const Size client = ClientSize(dpi_);
    const SIZE outer = OuterSize({client.width, client.height}, kStyle, kExStyle, dpi_);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ::GetMonitorInfoW(::MonitorFromWindow(hwnd(), MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;
    const int left = work.left + std::max(0L, (work.right - work.left - outer.cx) / 2);
    const int top = work.top + std::max(0L, (work.bottom - work.top - outer.cy) / 2);
    ::SetWindowPos(hwnd(), nullptr, left, top, outer.cx, outer.cy, SWP_NOZORDER | SWP_NOACTIVATE);
}

void frmStudio::Open(std::vector<fs::path> paths, int show) {
    ::ShowWindow(hwnd(), show);
    ::UpdateWindow(hwnd());
    pending_ = std::move(paths);
    if (!pending_.empty())
        ::PostMessageW(hwnd(), kOpenPending, 0, 0);
}

// Everything is made again at the new resolution: the font, the places, the thumbnails.
void frmStudio::OnDpiChanged(int dpi, const RECT& suggested) {
    dpi_ = dpi;
    font_ = MakeUiFont(dpi);
    ::EnumChildWindows(hwnd(), SetFontOf, reinterpret_cast<LPARAM>(font_.get()));
    const std::pair<HWND, Part> fixed[] = {{framesLabel_, Part::kFramesLabel},
                                           {add_, Part::kAdd},
                                           {up_, Part::kUp},
                                           {down_, Part::kDown},
                                           {remove_, Part::kRemove},
                                           {dropHint_, Part::kDropHint},
                                           {previewLabel_, Part::kPreviewLabel},
                                           {try_, Part::kTry},
                                           {create_, Part::kCreate}};
    for (const auto& [control, part] : fixed)
        Place(control, part, dpi);
    list_.Relayout(project_.frames, dpi);
    preview_.Relayout(dpi, font_.get());
    icon_.Relayout(project_, dpi);
    settings_.Relayout(dpi);
    ::SetWindowPos(hwnd(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void frmStudio::Refresh(int selected) {
    list_.Show(project_.frames, selected);
    preview_.SetFrames(project_.frames);
    preview_.SetInterval(AnimationInterval(project_.settings));
    icon_.Show(project_);
    const std::wstring count = L"フレーム（" + std::to_wstring(project_.frames.size()) + L" / " +
                               std::to_wstring(package::kMaxFrames) + L" 枚、この順に動きます）";
    ::SetWindowTextW(framesLabel_, count.c_str());
    ::EnableWindow(add_, project_.frames.Room() > 0);
    EnableMoves();
}

// Up, down and remove act on the selected frame, where there is such a move.
void frmStudio::EnableMoves() {
    const int chosen = list_.Selected();
    const auto last = static_cast<int>(project_.frames.size()) - 1;
    ::EnableWindow(up_, chosen > 0);
    ::EnableWindow(down_, chosen >= 0 && chosen < last);
    ::EnableWindow(remove_, chosen >= 0);
}

LRESULT frmStudio::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            OnCommand(LOWORD(wp), HIWORD(wp));
            return 0;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lp);
            if (header->idFrom == kIdFrameList && header->code == LVN_ITEMCHANGED)
                EnableMoves();
            return 0;
        }
        case WM_DROPFILES:
            OnDrop(reinterpret_cast<HDROP>(wp));
            return 0;
        case kOpenPending:
            AddPaths(std::exchange(pending_, {}), LastIco::kIcon);
            return 0;
        case WM_CTLCOLORSTATIC:
            return OnStaticColour(reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp));
        case WM_DPICHANGED:
            OnDpiChanged(LOWORD(wp), *reinterpret_cast<const RECT*>(lp));
            return 0;
        case WM_CLOSE:
            Unload();
            return 0;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return Window::OnMessage(msg, wp, lp);
    }
}

// The note about the texts is a warning; every label sits on the window's own colour.
LRESULT frmStudio::OnStaticColour(HDC dc, HWND control) {
    ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
    if (::GetDlgCtrlID(control) == kIdTextNote)
        ::SetTextColor(dc, kWarningText);
    return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
}

void frmStudio::OnTimer(UINT_PTR id) {
    if (id == kReaperTimer && !trials_.Reap())
        reaper_.SetEnabled(false);
}

void frmStudio::OnCommand(int id, int code) {
    if (SettingsPanel::Owns(id)) {
        if (code == CBN_SELCHANGE || code == EN_CHANGE)
            SettingsChanged();
        return;
    }
    if (code != BN_CLICKED)
        return;
    switch (id) {
        case kIdAdd:
            AddFrames();
            break;
        case kIdUp:
            MoveSelected(true);
            break;
        case kIdDown:
            MoveSelected(false);
            break;
        case kIdRemove:
            RemoveSelected();
            break;
        case kIdChooseIcon:
            ChooseIcon();
            break;
        case kIdClearIcon:
            ClearIcon();
            break;
        case kIdCreate:
            MakeExecutable();
            break;
        case kIdTry:
            TryOut();
            break;
        default:
            break;
    }
}

void frmStudio::OnDrop(HDROP drop) {
    const platform::UniqueDrop owned(drop);
    AddPaths(DroppedPaths(drop), LastIco::kIcon);
}

// Decoding many pictures takes a moment; the cursor says so.
void frmStudio::AddPaths(const std::vector<fs::path>& paths, LastIco lastIco) {
    if (paths.empty())
        return;
    const HCURSOR previous = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    Batch batch = LoadBatch(paths, project_.frames.Room(), platform::ButtonFaceRgb(), lastIco);
    ::SetCursor(previous);
    const auto first = static_cast<int>(project_.frames.size());
    const bool added = !batch.frames.empty();
    project_.frames.Append(std::move(batch.frames));
    if (batch.icon) {
        project_.icon = std::move(batch.icon);
        project_.iconPath = batch.iconPath;
    }
    Refresh(added ? first : list_.Selected());
    if (!batch.problems.empty())
        ShowError(hwnd(), ProblemsText(batch.problems));
}

void frmStudio::AddFrames() {
    const platform::Watch alive = MakeWatch();
    const std::vector<fs::path> files = ChooseFrameFiles(hwnd());
    if (alive.Alive())
        AddPaths(files, LastIco::kFrame);
}

void frmStudio::MoveSelected(bool up) {
    const int chosen = list_.Selected();
    if (chosen < 0)
        return;
    const auto index = static_cast<std::size_t>(chosen);
    if (up ? project_.frames.MoveUp(index) : project_.frames.MoveDown(index))
        Refresh(up ? chosen - 1 : chosen + 1);
}

void frmStudio::RemoveSelected() {
    const int chosen = list_.Selected();
    if (chosen < 0 || !project_.frames.Remove(static_cast<std::size_t>(chosen)))
        return;
    const auto left = static_cast<int>(project_.frames.size());
    Refresh(chosen < left ? chosen : left - 1);
}

void frmStudio::ChooseIcon() {
    const platform::Watch alive = MakeWatch();
    const std::optional<fs::path> file = ChooseIconFile(hwnd());
    if (!alive.Alive() || !file)
        return;
    try {
        project_.icon = ReadIconFile(*file);
        project_.iconPath = *file;
    } catch (const pack::PackError& error) {
        ShowError(hwnd(), Wide(error.what()));
        return;
    }
    icon_.Show(project_);
}

void frmStudio::ClearIcon() {
    project_.icon.reset();
    project_.iconPath.clear();
    icon_.Show(project_);
}

void frmStudio::SettingsChanged() {
    project_.settings = settings_.Choice();
    settings_.CheckTexts();
    preview_.SetInterval(AnimationInterval(project_.settings));
}

// Checked before the user is asked where to save: nothing the dialog could change is wrong.
bool frmStudio::ReadyToMake() {
    project_.settings = settings_.Choice();
    if (project_.frames.empty()) {
        ShowError(hwnd(), L"フレームの画像を1枚以上追加してください。");
        return false;
    }
    if (const std::optional<std::string> problem = settings_.CheckTexts()) {
        ShowError(hwnd(), platform::FromUtf8(*problem));
        return false;
    }
    return true;
}

void frmStudio::MakeExecutable() {
    const platform::Watch alive = MakeWatch();
    if (!ReadyToMake() || !alive.Alive())
        return;
    const std::optional<fs::path> output =
        ChooseOutput(hwnd(), platform::FromUtf8(project_.SuggestedFileName()),
                     project_.frames[0].path.parent_path());
    if (!alive.Alive() || !output)
        return;
    try {
        ShowInfo(hwnd(), WriteCharacter(project_, *output));
    } catch (const pack::PackError& error) {
        ShowError(hwnd(), Wide(error.what()));
    } catch (const std::bad_alloc&) {
        ShowError(hwnd(),
                  L"メモリーが足りないため「" + output->wstring() + L"」を作成できません。");
    }
}

void frmStudio::TryOut() {
    const platform::Watch alive = MakeWatch();
    if (!ReadyToMake() || !alive.Alive())
        return;
    try {
        trials_.Start(project_);
        reaper_.SetInterval(kReaperMs);
        reaper_.SetEnabled(true);
    } catch (const pack::PackError& error) {
        ShowError(hwnd(), Wide(error.what()));
    }
}

}  // namespace tovalin::studio

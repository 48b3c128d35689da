#include "ui/version_win32.h"

#include "app/shutdown_win32.h"
#include "motion/units.h"
#include "platform/system_win32.h"
#include "platform/text_win32.h"

#include <memory>
#include <stdexcept>

namespace tovalin::ui {

namespace {

constexpr const wchar_t* kVersionClass = L"tovalin.frm_Version";
constexpr const wchar_t* kCaption = L"ﾊﾞｰｼﾞｮﾝ情報";
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_DLGFRAME;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;
constexpr int kClientWidth = 3945;  // twips
constexpr int kClientHeight = 1140;

enum ControlId : int { kImage1 = 10, kLName, kLVer, kLCpy, kCommand1 = IDOK };

struct TwipsRect {
    int left, top, width, height;
};

constexpr TwipsRect kImage1Rect{105, 195, 480, 480};
constexpr TwipsRect kLNameRect{645, 150, 2385, 285};
constexpr TwipsRect kLVerRect{645, 525, 2385, 285};
constexpr TwipsRect kCommand1Rect{3075, 120, 795, 345};
constexpr TwipsRect kLCpyRect{60, 930, 3840, 225};
constexpr int kLineY[] = {870, 885, 870};

std::unique_ptr<frm_Version>& VersionSlot() {
    static std::unique_ptr<frm_Version> slot;
    return slot;
}

int PxX(double twips) {
    return motion::TwipsToPixels(twips, platform::TwipsPerPixelX());
}
int PxY(double twips) {
    return motion::TwipsToPixels(twips, platform::TwipsPerPixelY());
}

HICON LoadIconFile(const std::wstring& path, int size) {
    return static_cast<HICON>(
        ::LoadImageW(nullptr, path.c_str(), IMAGE_ICON, size, size, LR_LOADFROMFILE));
}

HFONT MakeFont(const wchar_t* face, double points, bool bold) {
    HDC dc = ::GetDC(nullptr);
    const int dpi = dc ? ::GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc)
        ::ReleaseDC(nullptr, dc);
    const int height = -static_cast<int>(points * dpi / 72.0 + 0.5);
    return ::CreateFontW(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                         SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                         DEFAULT_PITCH | FF_DONTCARE, face);
}

HWND AddControl(HWND parent, const wchar_t* cls, const std::wstring& text, DWORD style, int id,
                const TwipsRect& r, HFONT font) {
    HWND control = ::CreateWindowExW(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | style,
                                     PxX(r.left), PxY(r.top), PxX(r.width), PxY(r.height), parent,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                     ::GetModuleHandleW(nullptr), nullptr);
    if (control && font)
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

}  // namespace

frm_Version& frm_Version::Get() {
    auto& slot = VersionSlot();
    if (!slot) {
        slot.reset(new frm_Version());
        slot->EnsureWindow();
    }
    return *slot;
}

frm_Version* frm_Version::IfLoaded() {
    return VersionSlot().get();
}

void frm_Version::Unload() {
    auto& slot = VersionSlot();
    if (!slot)
        return;
    slot->closed_ = true;
    std::unique_ptr<frm_Version> gone = std::move(slot);
    gone->DestroyNow();
    app::RetireWindow(std::move(gone));
}

bool frm_Version::EnsureWindow() {
    if (hwnd())
        return true;
    platform::WindowSpec desc;
    desc.className = kVersionClass;
    desc.title = kCaption;
    desc.style = kStyle;
    desc.exStyle = kExStyle;
    desc.background = ::GetSysColorBrush(COLOR_BTNFACE);
    if (!Create(desc))
        return false;
    Form_Load();
    return true;
}

// Positioning: the outer size, centred on the primary screen.
void frm_Version::Form_Load() {
    RECT outer{0, 0, PxX(kClientWidth), PxY(kClientHeight)};
    ::AdjustWindowRectEx(&outer, kStyle, FALSE, kExStyle);
    const double width =
        motion::PixelsToTwips(outer.right - outer.left, platform::TwipsPerPixelX());
    const double height =
        motion::PixelsToTwips(outer.bottom - outer.top, platform::TwipsPerPixelY());
    const double left = (platform::ScreenWidthTwips() - width) / 2;
    const double top = (platform::ScreenHeightTwips() - height) / 2;
    ::SetWindowPos(hwnd(), nullptr, PxX(left), PxY(top), outer.right - outer.left,
                   outer.bottom - outer.top, SWP_NOZORDER | SWP_NOACTIVATE);
    nameFont_.reset(MakeFont(L"ＭＳ Ｐ明朝", 9.75, true));
    textFont_.reset(MakeFont(L"ＭＳ Ｐゴシック", 9.0, false));
    CreateControls();
}

void frm_Version::CreateControls() {
    HWND self = hwnd();
    HWND image =
        AddControl(self, L"STATIC", L"", SS_ICON | SS_REALSIZEIMAGE, kImage1, kImage1Rect, nullptr);
    if (image && image_) {
        ::SendMessageW(image, STM_SETICON, reinterpret_cast<WPARAM>(image_.get()), 0);
    }
    AddControl(self, L"STATIC", name_, SS_LEFT | SS_NOPREFIX, kLName, kLNameRect, nameFont_.get());
    AddControl(self, L"STATIC", version_, SS_LEFT | SS_NOPREFIX, kLVer, kLVerRect, nameFont_.get());
    AddControl(self, L"BUTTON", L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, kCommand1, kCommand1Rect,
               textFont_.get());
    AddControl(self, L"STATIC", copyright_, SS_LEFT | SS_NOPREFIX, kLCpy, kLCpyRect,
               textFont_.get());
    if (windowIcon_) {
        ::SendMessageW(self, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(windowIcon_.get()));
        ::SendMessageW(self, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(windowIcon_.get()));
    }
}

void frm_Version::SetImagePicture(const std::wstring& iconPath) {
    platform::UniqueHicon icon(LoadIconFile(iconPath, 32));
    if (!icon) {
        throw std::runtime_error("アイコンファイル「" + platform::ToUtf8(iconPath) +
                                 "」を読み込めませんでした。");
    }
    image_ = std::move(icon);
    if (HWND image = ::GetDlgItem(hwnd(), kImage1)) {
        ::SendMessageW(image, STM_SETICON, reinterpret_cast<WPARAM>(image_.get()), 0);
    }
}

void frm_Version::SetWindowIcon(const std::wstring& iconPath) {
    platform::UniqueHicon icon(LoadIconFile(iconPath, 0));
    if (!icon) {
        throw std::runtime_error("アイコンファイル「" + platform::ToUtf8(iconPath) +
                                 "」を読み込めませんでした。");
    }
    windowIcon_ = std::move(icon);
    if (hwnd()) {
        ::SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(windowIcon_.get()));
        ::SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(windowIcon_.get()));
    }
}

void frm_Version::SetTexts(const std::wstring& name, const std::wstring& version,
                           const std::wstring& copyright) {
    name_ = name;
    version_ = version;
    copyright_ = copyright;
    ::SetDlgItemTextW(hwnd(), kLName, name_.c_str());
    ::SetDlgItemTextW(hwnd(), kLVer, version_.c_str());
    ::SetDlgItemTextW(hwnd(), kLCpy, copyright_.c_str());
}

void frm_Version::ShowModal() {
    if (!EnsureWindow())
        return;
    closed_ = false;
    const platform::Watch alive = MakeWatch();
    ::ShowWindow(hwnd(), SW_SHOWNORMAL);
    ::SetForegroundWindow(hwnd());
    if (HWND ok = ::GetDlgItem(hwnd(), kCommand1))
        ::SetFocus(ok);
    MSG msg;
    while (alive.Alive() && !closed_ && hwnd()) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got < 0)
            break;
        if (hwnd() && ::IsDialogMessageW(hwnd(), &msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

LRESULT frm_Version::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            if (LOWORD(wp) == kCommand1 || LOWORD(wp) == IDCANCEL)
                Command1_Click();
            return 0;
        case WM_CLOSE:
            Command1_Click();
            return 0;
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_CTLCOLORSTATIC:
            ::SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
        default:
            return Window::OnMessage(msg, wp, lp);
    }
}

// Closing destroys the window; the next opening creates, fills and centres it again.
void frm_Version::Command1_Click() {
    closed_ = true;
    DestroyNow();
}

void frm_Version::OnPaint() {
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(hwnd(), &ps);
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    const int colours[] = {COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW};
    for (int i = 0; i < 3; ++i) {
        HPEN pen = ::CreatePen(PS_SOLID, 1, ::GetSysColor(colours[i]));
        HGDIOBJ old = ::SelectObject(dc, pen);
        const int y = PxY(kLineY[i]);
        ::MoveToEx(dc, 0, y, nullptr);
        ::LineTo(dc, client.right, y);
        ::SelectObject(dc, old);
        ::DeleteObject(pen);
    }
    ::EndPaint(hwnd(), &ps);
}

}  // namespace tovalin::ui

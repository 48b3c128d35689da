#include "ui/version_win32.h"

#include "package/unpack_win32.h"
#include "platform/module_path.h"
#include "platform/paths.h"
#include "platform/picture_win32.h"
#include "platform/dpi_win32.h"
#include "platform/screen_metrics_win32.h"
#include "platform/system_function_win32.h"
#include "platform/text_win32.h"
#include "platform/units.h"

namespace tovalin::ui {

namespace {

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

int PxX(double twips) {
    return platform::TwipsToPixels(twips, platform::TwipsPerPixelX());
}
int PxY(double twips) {
    return platform::TwipsToPixels(twips, platform::TwipsPerPixelY());
}

// Fonts are sized in points, so they keep their size on every display.
HFONT MakeFont(const wchar_t* face, double points, bool bold) {
    const int dpi = platform::DisplayDpi();
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

platform::WindowSpec frm_Version::Description() {
    return {.className = L"tovalin.frm_Version",
            .title = kCaption,
            .style = kStyle,
            .exStyle = kExStyle,
            .background = ::GetSysColorBrush(COLOR_BTNFACE),
            .painting = platform::Painting::kOverBackground};
}

void frm_Version::Form_Unload() {
    closed_ = true;
}

// Positioning: the outer size, centred on the primary screen.
void frm_Version::Form_Load() {
    layoutDpi_ = platform::DisplayDpi();
    RECT outer{0, 0, PxX(kClientWidth), PxY(kClientHeight)};
    ::AdjustWindowRectEx(&outer, kStyle, FALSE, kExStyle);
    const double width =
        platform::PixelsToTwips(outer.right - outer.left, platform::TwipsPerPixelX());
    const double height =
        platform::PixelsToTwips(outer.bottom - outer.top, platform::TwipsPerPixelY());
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
    if (!imagePath_.empty() && imageSize_ != PxX(kImage1Rect.width))
        LoadImagePicture();
    if (image && image_) {
        ::SendMessageW(image, STM_SETICON, reinterpret_cast<WPARAM>(image_.get()), 0);
    }
    AddControl(self, L"STATIC", name_, SS_LEFT | SS_NOPREFIX, kLName, kLNameRect, nameFont_.get());
    AddControl(self, L"STATIC", version_, SS_LEFT | SS_NOPREFIX, kLVer, kLVerRect, nameFont_.get());
    AddControl(self, L"BUTTON", L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, kCommand1, kCommand1Rect,
               textFont_.get());
    AddControl(self, L"STATIC", copyright_, SS_LEFT | SS_NOPREFIX, kLCpy, kLCpyRect,
               textFont_.get());
    if (windowIcon_)
        platform::SetWindowIcons(self, windowIcon_.get());
}

void frm_Version::FillFromPackage() {
    const std::wstring iconPath = package::UnpackedPath(0);
    SetImagePicture(iconPath);
    SetWindowIcon(iconPath);
    SetTexts(platform::BaseName(platform::ModulePath()), package::gVersion, package::gCopyright);
    filled_ = true;
}

void frm_Version::SetImagePicture(const std::wstring& iconPath) {
    imagePath_ = iconPath;
    LoadImagePicture();
    if (HWND image = ::GetDlgItem(hwnd(), kImage1)) {
        ::SendMessageW(image, STM_SETICON, reinterpret_cast<WPARAM>(image_.get()), 0);
    }
}

// The icon fills Image1 at the display's resolution: 32 pixels at 96 dpi, 64 at 192.
void frm_Version::LoadImagePicture() {
    imageSize_ = PxX(kImage1Rect.width);
    image_ = platform::LoadIconFile(imagePath_, imageSize_);
}

void frm_Version::SetWindowIcon(const std::wstring& iconPath) {
    windowIcon_ = platform::LoadIconFile(iconPath, 0);
    platform::SetWindowIcons(hwnd(), windowIcon_.get());
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
    if (!filled_)
        FillFromPackage();
    // Laid out at another resolution (the display scale changed): made again at this one.
    if (hwnd() && layoutDpi_ != platform::DisplayDpi())
        DestroyNow();
    if (!hwnd()) {
        platform::LoadCommonControls();
        CreateOrThrow();
        Form_Load();
    }
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

void frm_Version::OnPaint(HDC dc, const RECT& client) {
    const int colours[] = {COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW};
    for (int i = 0; i < 3; ++i) {
        const platform::UniqueHpen pen(::CreatePen(PS_SOLID, 1, ::GetSysColor(colours[i])));
        const platform::SelectedObject selected(dc, pen.get());
        const int y = PxY(kLineY[i]);
        ::MoveToEx(dc, 0, y, nullptr);
        ::LineTo(dc, client.right, y);
    }
}

}  // namespace tovalin::ui

#include "shape/view_win32.h"

#include <algorithm>

#include "motion/drag_win32.h"
#include "platform/counters.h"
#include "platform/dpi_win32.h"
#include "platform/fatal_exit_win32.h"
#include "platform/pump_win32.h"
#include "shape/click_through_win32.h"
#include "shape/frames.h"
#include "shape/scene_win32.h"

namespace tovalin::shape {

namespace {

HBRUSH ButtonFaceBrush() {
    return ::GetSysColorBrush(COLOR_BTNFACE);
}

// One memory DC serves every paint of every character: a picture is selected into it only while
// it is drawn, and a DC made for each of the many paints a second would be made for nothing.
HDC PaintSourceDc() {
    static const platform::UniqueHdc dc(::CreateCompatibleDC(nullptr));
    return dc.get();
}

}  // namespace

frmView::frmView() = default;
frmView::~frmView() = default;

// No taskbar button.
platform::WindowSpec frmView::Description() {
    return {.className = L"tovalin.frmView",
            .exStyle = WS_EX_TOOLWINDOW,
            .painting = platform::Painting::kWhole};
}

void frmView::Form_Unload() {
    Timer1.SetEnabled(false);
}

void frmView::Load() {
    CreateOrThrow();
    TakeClickThrough(hwnd());
}

void frmView::Unload() {
    Timer1.SetEnabled(false);
    DestroyNow();
}

// The region change before it does not always repaint the window (only what its new outline
// uncovers, on some systems), so a new picture asks for its own paint.
void frmView::SetBackgroundPicture(PicturePtr picture) {
    if (picture == background_)
        return;  // the same pixels: nothing to draw again
    background_ = std::move(picture);
    if (hwnd())
        ::InvalidateRect(hwnd(), nullptr, FALSE);
}

LRESULT frmView::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_LBUTTONDOWN:
            Form_MouseDown(1);
            return 0;
        case WM_RBUTTONDOWN:
            Form_MouseDown(2);
            return 0;
        case WM_MBUTTONDOWN:
            Form_MouseDown(4);
            return 0;
        case WM_MOUSEACTIVATE:
            return MA_NOACTIVATE;  // a character never takes the focus from the user's window
        case WM_NCLBUTTONDOWN:
            if (wp == HTCAPTION)
                return Form_CaptionPress(lp);
            return Window::OnMessage(msg, wp, lp);
        case WM_WINDOWPOSCHANGING:
            Form_PosChanging(*reinterpret_cast<WINDOWPOS*>(lp));
            return Window::OnMessage(msg, wp, lp);
        case WM_DPICHANGED:
            Form_DpiChanged(LOWORD(wp));
            return 0;  // the rebuilt scene sizes the windows, not the system's suggestion
        default:
            return Window::OnMessage(msg, wp, lp);
    }
}

int frmView::Scale() const {
    return scale_ > 0 ? scale_ : platform::DisplayScale();
}

bool frmView::HasOwnScale() const {
    return scale_ > 0 && scale_ != platform::DisplayScale();
}

void frmView::UseScale(int scale) {
    if (scale <= 0 || scale == Scale())
        return;
    scale_ = scale;
    const double ratio = static_cast<double>(scale) / platform::DisplayScale();
    SizeTwips(gFrameWidth[0] * ratio, gFrameHeight[0] * ratio);
    const std::int32_t shown = CharaInfo.poi > 0 ? CharaInfo.poi - 1 : gFrameCount - 1;
    ShowFrame(std::max(shown, 0), *this);
    if (hwnd())
        ::InvalidateRect(hwnd(), nullptr, FALSE);
}

// The pictures are made at the display's scale; a character on a monitor of another scale
// stretches them by whole numbers, pixel for pixel, so they stay crisp.
void frmView::OnPaint(HDC dc, const RECT& client) {
    platform::Count(platform::Counter::kRepaint);
    std::int32_t drawnW = 0, drawnH = 0;
    HDC source = PaintSourceDc();
    if (background_ && background_->bitmap && source) {
        const std::int32_t madeW = background_->pixels.width * background_->scale;
        const std::int32_t madeH = background_->pixels.height * background_->scale;
        drawnW = background_->pixels.width * Scale();
        drawnH = background_->pixels.height * Scale();
        const platform::SelectedObject picture(source, background_->bitmap.get());
        if (drawnW == madeW && drawnH == madeH) {
            ::BitBlt(dc, 0, 0, drawnW, drawnH, source, 0, 0, SRCCOPY);
        } else {
            ::SetStretchBltMode(dc, COLORONCOLOR);
            ::StretchBlt(dc, 0, 0, drawnW, drawnH, source, 0, 0, madeW, madeH, SRCCOPY);
        }
    }
    // What the picture does not cover shows the form's own colour.
    RECT right{drawnW, 0, client.right, client.bottom};
    RECT below{0, drawnH, drawnW, client.bottom};
    if (right.left < right.right)
        ::FillRect(dc, &right, ButtonFaceBrush());
    if (below.top < below.bottom)
        ::FillRect(dc, &below, ButtonFaceBrush());
}

void frmView::OnTimer(UINT_PTR id) {
    if (id == Timer1.Id())
        Timer1_Timer();
}

void frmView::Timer1_Timer() {
    if (CharaInfo.bMoving)
        return;  // a dragged character keeps its frame
    Timer1.SetEnabled(false);
    const platform::Watch alive = MakeWatch();
    ShowFrame(CharaInfo.poi, *this);
    if (!alive.Alive())
        return;
    CharaInfo.poi += 1;
    if (CharaInfo.poi > gFrameCount - 1)
        CharaInfo.poi = 0;
    platform::PumpPendingMessages();
    if (!alive.Alive())
        return;
    Timer1.SetEnabled(true);
}

// The display's scale is the primary's; a character on another monitor follows that monitor's
// scale through the motion tick, so a window there asks the primary display.
void frmView::Form_DpiChanged(int dpi) {
    ChangeDisplayDpi(platform::OnPrimaryDisplay(hwnd()) ? dpi : platform::QueryPrimaryDpi());
}

// The system's own answer to a caption press first makes the window the foreground window, and
// only then runs its move loop. A character must never take the focus from the user's window;
// and a window that becomes active mid-press is one that Wine hands over to the window manager,
// unmapping it while the button is held, so that the pointer grab and every motion and release
// after it go elsewhere and the move loop never ends. The move loop alone is asked for.
LRESULT frmView::Form_CaptionPress(LPARAM lp) {
    return ::DefWindowProcW(hwnd(), WM_SYSCOMMAND, SC_MOVE | HTCAPTION, lp);
}

// Every move of a character, the move loop's included, leaves the active window as it is.
void frmView::Form_PosChanging(WINDOWPOS& pos) {
    pos.flags |= SWP_NOACTIVATE;
}

void frmView::Form_MouseDown(int button) {
    motion::StartDrag(*this, Timer1, *this, button);
}

namespace {

// The region record as the system wants it, or nothing when its header is not one the record
// can hold: a damaged length must never make the system read past the record.
const RGNDATA* RegionDataOf(std::int32_t k, DWORD* length) {
    if (k < 0 || k >= kMaxFrames)
        return nullptr;
    const auto& record = gRgnData[static_cast<std::size_t>(k)];
    const auto* data = reinterpret_cast<const RGNDATA*>(record.bytes.data());
    const std::uint64_t total = std::uint64_t{data->rdh.dwSize} + std::uint64_t{data->rdh.nRgnSize};
    if (data->rdh.dwSize != sizeof(RGNDATAHEADER) || total > record.bytes.size())
        return nullptr;
    *length = static_cast<DWORD>(total);
    return data;
}

// Shapes the window to frame k's stored region data, taken at the display scale (the identity
// at 96 dpi), so that every picture pixel is a whole block of screen pixels.
void GiveRegion(std::int32_t k, frmView& view, const frmView::Outline& outline) {
    DWORD length = 0;
    const RGNDATA* data = RegionDataOf(k, &length);
    const auto scale = static_cast<FLOAT>(outline.scale);
    const XFORM transform{scale, 0.0f, 0.0f, scale, 0.0f, 0.0f};
    platform::UniqueHrgn region(data ? ::ExtCreateRegion(&transform, length, data) : nullptr);
    if (!region)
        platform::FatalExit(L"リージョンデータの読み込みに失敗しました。");

    if (!::SetWindowRgn(view.hwnd(), region.get(), TRUE)) {
        platform::FatalExit(L"ウィンドウの整形に失敗しました。");
    }
    region.release();  // the window owns it now
    platform::Count(platform::Counter::kRegionChange);
    view.SetShownOutline(outline);
}

}  // namespace

void ShowFrame(std::int32_t k, frmView& view) {
    platform::Count(platform::Counter::kFrameSwitch);
    const platform::Watch alive = view.MakeWatch();
    platform::PumpPendingMessages();
    if (!alive.Alive() || !view.hwnd())
        return;

    const int scale = view.Scale();
    const frmView::Outline outline{k >= 0 && k < kMaxFrames ? gRgnShape[k] : -1, gFrameSet, scale};
    // The outline the window already has, byte for byte: giving it again would change nothing.
    if (outline.shape < 0 || outline != view.ShownOutline())
        GiveRegion(k, view, outline);

    if (frmView* store = frmView::DefaultIfLoaded()) {
        if (k >= 0 && static_cast<std::size_t>(k) < store->Pic.size() && store->Pic[k]) {
            view.SetBackgroundPicture(store->Pic[static_cast<std::size_t>(k)]);
        }
    }
}

}  // namespace tovalin::shape

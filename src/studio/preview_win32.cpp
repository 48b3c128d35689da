#include "studio/preview_win32.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "platform/units.h"
#include "studio/controls_win32.h"

namespace tovalin::studio {

namespace {

constexpr UINT_PTR kAnimationTimer = 1;
constexpr int kSquare = 8;  // the checkerboard's squares, at 96 dpi
constexpr COLORREF kLightSquare = RGB(0xF4, 0xF4, 0xF4);
constexpr COLORREF kDarkSquare = RGB(0xD0, 0xD0, 0xD0);

Size LargestFrame(const std::vector<Outline>& frames) {
    Size largest;
    for (const Outline& frame : frames) {
        largest.width = std::max(largest.width, frame.width);
        largest.height = std::max(largest.height, frame.height);
    }
    return largest;
}

// The outline the player's windows would take, scaled and moved to where the preview draws
// the frame.
platform::UniqueHrgn ScaledOutline(const Outline& frame, const PreviewFit& fit) {
    if (!frame.region)
        return {};
    XFORM place{};
    place.eM11 = static_cast<FLOAT>(fit.scale);
    place.eM22 = static_cast<FLOAT>(fit.scale);
    place.eDx = static_cast<FLOAT>(fit.left);
    place.eDy = static_cast<FLOAT>(fit.top);
    const auto* data = reinterpret_cast<const RGNDATA*>(frame.region->bytes.data());
    return platform::UniqueHrgn(::ExtCreateRegion(&place, frame.regionSize, data));
}

}  // namespace

Preview::Preview() : timer_(*this, kAnimationTimer) {}

void Preview::Create(HWND parent, int dpi, HFONT font) {
    platform::WindowSpec window;
    window.className = L"tovalin.StudioPreview";
    window.style = WS_CHILD | WS_VISIBLE;
    window.exStyle = WS_EX_CLIENTEDGE;
    window.painting = platform::Painting::kWhole;
    if (!Window::Create(window, parent))
        throw std::runtime_error("プレビューのウィンドウを作成できませんでした。");
    ::SetWindowLongPtrW(hwnd(), GWLP_ID, kIdPreview);
    Relayout(dpi, font);
}

void Preview::Relayout(int dpi, HFONT font) {
    dpi_ = dpi;
    font_ = font;
    Place(hwnd(), Part::kPreview, dpi);
    Fit();
    ::InvalidateRect(hwnd(), nullptr, FALSE);
}

void Preview::SetFrames(const FrameList& frames) {
    frames_.clear();
    for (std::size_t i = 0; i < frames.size(); ++i)
        frames_.push_back(frames[i].outline);
    current_ = 0;
    Fit();
    Restart();
    ::InvalidateRect(hwnd(), nullptr, FALSE);
}

void Preview::SetInterval(unsigned milliseconds) {
    timer_.SetInterval(milliseconds);
    Restart();
}

// The frames are drawn at the scale the player draws them at on this display, as far as the
// preview has room.
void Preview::Fit() {
    RECT client{};
    ::GetClientRect(hwnd(), &client);
    fit_ = FitPreview({client.right, client.bottom}, LargestFrame(frames_),
                      platform::ScaleForDpi(dpi_));
    outlines_.clear();
    for (const Outline& frame : frames_)
        outlines_.push_back(ScaledOutline(frame, fit_));
}

void Preview::Restart() {
    timer_.SetEnabled(frames_.size() > 1);
}

void Preview::OnTimer(UINT_PTR id) {
    if (id != kAnimationTimer || frames_.empty())
        return;
    current_ = (current_ + 1) % frames_.size();
    ::InvalidateRect(hwnd(), nullptr, FALSE);
}

LRESULT Preview::OnMessage(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_SIZE:
            Fit();
            return 0;
        default:
            return Window::OnMessage(msg, wp, lp);
    }
}

void Preview::DrawCheckerboard(HDC dc, const RECT& client) const {
    const int square = std::max(1, Scaled(kSquare, dpi_));
    const platform::UniqueHbrush light(::CreateSolidBrush(kLightSquare));
    const platform::UniqueHbrush dark(::CreateSolidBrush(kDarkSquare));
    ::FillRect(dc, &client, light.get());
    for (int y = 0; y < client.bottom; y += square) {
        for (int x = (y / square) % 2 * square; x < client.right; x += 2 * square) {
            const RECT cell{x, y, x + square, y + square};
            ::FillRect(dc, &cell, dark.get());
        }
    }
}

void Preview::DrawFrame(HDC dc) const {
    const Outline& frame = frames_[current_];
    if (!outlines_[current_])
        return;  // the player shows nothing of this frame either
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = frame.width;
    info.bmiHeader.biHeight = -frame.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    ::SelectClipRgn(dc, outlines_[current_].get());
    ::SetStretchBltMode(dc, COLORONCOLOR);
    ::StretchDIBits(dc, fit_.left, fit_.top,
                    static_cast<int>(std::lround(frame.width * fit_.scale)),
                    static_cast<int>(std::lround(frame.height * fit_.scale)), 0, 0, frame.width,
                    frame.height, frame.pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
    ::SelectClipRgn(dc, nullptr);
}

// Drawn off screen and copied in one go, so that the animation does not flicker.
void Preview::OnPaint(HDC dc, const RECT& client) {
    if (client.right <= 0 || client.bottom <= 0)
        return;
    const platform::UniqueHdc memory(::CreateCompatibleDC(dc));
    const platform::UniqueHbitmap canvas(::CreateCompatibleBitmap(dc, client.right, client.bottom));
    if (!memory || !canvas)
        return;
    const platform::SelectedObject selected(memory.get(), canvas.get());
    DrawCheckerboard(memory.get(), client);
    if (frames_.empty()) {
        const platform::SelectedObject font(memory.get(), font_);
        ::SetBkMode(memory.get(), TRANSPARENT);
        RECT text = client;
        ::DrawTextW(memory.get(), L"フレームを追加すると、ここで動きます", -1, &text,
                    DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    } else {
        DrawFrame(memory.get());
    }
    ::BitBlt(dc, 0, 0, client.right, client.bottom, memory.get(), 0, 0, SRCCOPY);
}

}  // namespace tovalin::studio

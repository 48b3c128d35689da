#include "studio/frame_list_view_win32.h"

#include <commctrl.h>

#include <string>

#include "pack/icon.h"
#include "platform/text_win32.h"
#include "studio/controls_win32.h"

namespace tovalin::studio {

namespace {

constexpr int kThumbnailSide = 32;
constexpr std::uint32_t kLightSquare = 0xFFFFFF;
constexpr std::uint32_t kDarkSquare = 0xDCDCDC;

// The kept pixels fitted into the square over a small checkerboard, so that what is cut away
// shows as such.
platform::UniqueHbitmap Thumbnail(const Outline& outline, int side) {
    const pack::RgbaImage fitted = pack::FitToSquare(KeptPixels(outline), side);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = side;
    info.bmiHeader.biHeight = -side;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    platform::UniqueHbitmap bitmap(
        ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits)
        return {};
    auto* out = static_cast<std::uint32_t*>(bits);
    const int square = side / 4 > 0 ? side / 4 : 1;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const pack::Rgba p = fitted.At(x, y);
            const std::uint32_t ground =
                ((x / square + y / square) % 2) ? kDarkSquare : kLightSquare;
            const std::uint32_t colour =
                p.a ? (std::uint32_t{p.r} << 16 | std::uint32_t{p.g} << 8 | p.b) : ground;
            out[y * side + x] = 0xFF000000u | colour;
        }
    }
    return bitmap;
}

void SetItemText(HWND list, int item, int column, const std::wstring& text) {
    LVITEMW sub{};
    sub.iSubItem = column;
    sub.pszText = const_cast<wchar_t*>(text.c_str());
    ::SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(item),
                   reinterpret_cast<LPARAM>(&sub));
}

}  // namespace

void FrameListView::Create(HWND parent, int dpi, HFONT font) {
    dpi_ = dpi;
    list_ = MakeControl(parent, WC_LISTVIEWW, L"",
                        LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER |
                            LVS_SHAREIMAGELISTS | WS_TABSTOP,
                        kIdFrameList, Part::kFrameList, dpi, font, WS_EX_CLIENTEDGE);
    ::SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                   LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    const wchar_t* titles[] = {L"番号", L"画像", L"大きさ"};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.pszText = const_cast<wchar_t*>(titles[i]);
        column.iSubItem = i;
        ::SendMessageW(list_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i),
                       reinterpret_cast<LPARAM>(&column));
    }
    SetColumns();
}

// The file column takes what the number and the size leave, less room for a scroll bar.
void FrameListView::SetColumns() {
    const Box box = PlaceOf(Part::kFrameList, dpi_);
    const int number = Scaled(48, dpi_);
    const int size = Scaled(72, dpi_);
    const int file = box.width - number - size - Scaled(24, dpi_);
    const int widths[] = {number, file, size};
    for (int i = 0; i < 3; ++i)
        ::SendMessageW(list_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(i), widths[i]);
}

void FrameListView::Relayout(const FrameList& frames, int dpi) {
    dpi_ = dpi;
    Place(list_, Part::kFrameList, dpi);
    SetColumns();
    Show(frames, Selected());
}

void FrameListView::MakeThumbnails(const FrameList& frames) {
    const int side = Scaled(kThumbnailSide, dpi_);
    platform::UniqueImageList made(
        ::ImageList_Create(side, side, ILC_COLOR32, static_cast<int>(frames.size()), 4));
    for (std::size_t i = 0; made && i < frames.size(); ++i) {
        const platform::UniqueHbitmap thumbnail = Thumbnail(frames[i].outline, side);
        ::ImageList_Add(made.get(), thumbnail.get(), nullptr);
    }
    // The list shares the image list (LVS_SHAREIMAGELISTS): the old one is freed here, after the
    // list has let go of it.
    ::SendMessageW(list_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(made.get()));
    thumbnails_ = std::move(made);
}

void FrameListView::Show(const FrameList& frames, int selected) {
    ::SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0);
    MakeThumbnails(frames);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const int item = static_cast<int>(i);
        const std::wstring number = std::to_wstring(i + 1);
        LVITEMW row{};
        row.mask = LVIF_TEXT | LVIF_IMAGE;
        row.iItem = item;
        row.pszText = const_cast<wchar_t*>(number.c_str());
        row.iImage = item;
        ::SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row));
        SetItemText(list_, item, 1, platform::FromUtf8(frames[i].label));
        SetItemText(list_, item, 2,
                    std::to_wstring(frames[i].outline.width) + L"×" +
                        std::to_wstring(frames[i].outline.height));
    }
    if (selected >= 0 && static_cast<std::size_t>(selected) < frames.size()) {
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        ::SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(selected),
                       reinterpret_cast<LPARAM>(&state));
        ::SendMessageW(list_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(selected), FALSE);
    }
    ::SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list_, nullptr, TRUE);
}

int FrameListView::Selected() const {
    return static_cast<int>(
        ::SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

}  // namespace tovalin::studio

#include "studio/icon_panel_win32.h"

#include <commctrl.h>

#include <cstdlib>

#include "pack/icon.h"
#include "platform/text_win32.h"
#include "studio/controls_win32.h"

namespace tovalin::studio {

namespace {

constexpr int kIconSide = 48;  // the large icon at 150 %, the largest a made icon holds

// The entry the system would pick for a square of `side` pixels: the nearest size, the most
// colours among equals.
std::size_t NearestEntry(const std::vector<pack::IconEntry>& entries, int side) {
    std::size_t best = 0;
    for (std::size_t i = 1; i < entries.size(); ++i) {
        const int distance = std::abs(entries[i].width - side);
        const int bestDistance = std::abs(entries[best].width - side);
        if (distance < bestDistance ||
            (distance == bestDistance &&
             pack::ImageBitCount(entries[i]) > pack::ImageBitCount(entries[best])))
            best = i;
    }
    return best;
}

platform::UniqueHicon IconOf(const pack::Bytes& ico, int side) {
    if (ico.empty())
        return {};
    std::vector<pack::IconEntry> entries;
    try {
        entries = pack::ReadIco(ico);
    } catch (const pack::PackError&) {
        return {};  // a file that cannot be read was refused when it was chosen
    }
    pack::IconEntry& entry = entries[NearestEntry(entries, side)];
    constexpr DWORD kIconFormat = 0x00030000;
    return platform::UniqueHicon(
        ::CreateIconFromResourceEx(entry.image.data(), static_cast<DWORD>(entry.image.size()), TRUE,
                                   kIconFormat, side, side, LR_DEFAULTCOLOR));
}

}  // namespace

void IconPanel::Create(HWND parent, int dpi, HFONT font) {
    dpi_ = dpi;
    label_ = MakeControl(parent, WC_STATICW, L"アイコン", SS_LEFT | SS_NOPREFIX, 0,
                         Part::kIconLabel, dpi, font);
    picture_ = MakeControl(parent, WC_STATICW, L"", SS_ICON | SS_CENTERIMAGE | SS_REALSIZECONTROL,
                           kIdIcon, Part::kIcon, dpi, font, WS_EX_CLIENTEDGE);
    choose_ = MakeControl(parent, WC_BUTTONW, L"アイコンを選ぶ…", BS_PUSHBUTTON | WS_TABSTOP,
                          kIdChooseIcon, Part::kChooseIcon, dpi, font);
    clear_ = MakeControl(parent, WC_BUTTONW, L"1枚目のフレームから作る", BS_PUSHBUTTON | WS_TABSTOP,
                         kIdClearIcon, Part::kClearIcon, dpi, font);
    note_ = MakeControl(parent, WC_STATICW, L"", SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL,
                        kIdIconNote, Part::kIconNote, dpi, font);
}

void IconPanel::Relayout(const Project& project, int dpi) {
    dpi_ = dpi;
    Place(label_, Part::kIconLabel, dpi);
    Place(picture_, Part::kIcon, dpi);
    Place(choose_, Part::kChooseIcon, dpi);
    Place(clear_, Part::kClearIcon, dpi);
    Place(note_, Part::kIconNote, dpi);
    Show(project);
}

void IconPanel::Show(const Project& project) {
    platform::UniqueHicon shown = IconOf(project.IconFileBytes(), Scaled(kIconSide, dpi_));
    ::SendMessageW(picture_, STM_SETICON, reinterpret_cast<WPARAM>(shown.get()), 0);
    icon_ = std::move(shown);  // the control no longer shows the old one
    ::EnableWindow(clear_, project.icon.has_value());
    std::wstring note;
    if (project.icon)
        note = L"選んだアイコン: " + project.iconPath.filename().wstring();
    else
        note = L"アイコンを選ばないときは、1枚目のフレームから作ります。";
    ::SetWindowTextW(note_, note.c_str());
}

}  // namespace tovalin::studio

#include "studio/settings_panel_win32.h"

#include <commctrl.h>

#include <vector>

#include "platform/text_win32.h"
#include "studio/controls_win32.h"

namespace tovalin::studio {

namespace {

// A dropped list shows every word without a scroll bar.
constexpr int kListRows = 8;
constexpr int kMaxTextLength = 200;

struct Row {
    Part label;
    const wchar_t* caption;
};
constexpr Row kLabels[] = {{Part::kSettingsLabel, L"設定"},   {Part::kCountLabel, L"出現数"},
                           {Part::kMoveLabel, L"動き"},       {Part::kLocationLabel, L"出現位置"},
                           {Part::kSpeedLabel, L"動作速度"},  {Part::kVersionLabel, L"版"},
                           {Part::kCopyrightLabel, L"著作権"}};
constexpr Part kChoiceParts[] = {Part::kCount, Part::kMove, Part::kLocation, Part::kSpeed};

HWND MakeChoice(HWND parent, int id, Part part, int dpi, HFONT font,
                const std::vector<std::string>& captions, std::size_t selected) {
    HWND box = MakeControl(parent, WC_COMBOBOXW, L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP,
                           id, part, dpi, font);
    Place(box, part, dpi, kListRows);
    for (const std::string& caption : captions) {
        const std::wstring wide = platform::FromUtf8(caption);
        ::SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
    }
    ::SendMessageW(box, CB_SETCURSEL, selected, 0);
    return box;
}

HWND MakeText(HWND parent, int id, Part part, int dpi, HFONT font, const std::string& text) {
    HWND edit = MakeControl(parent, WC_EDITW, platform::FromUtf8(text), ES_AUTOHSCROLL | WS_TABSTOP,
                            id, part, dpi, font, WS_EX_CLIENTEDGE);
    ::SendMessageW(edit, EM_LIMITTEXT, kMaxTextLength, 0);
    return edit;
}

std::size_t Selection(HWND box) {
    const LRESULT index = ::SendMessageW(box, CB_GETCURSEL, 0, 0);
    return index < 0 ? 0 : static_cast<std::size_t>(index);
}

}  // namespace

void SettingsPanel::Create(HWND parent, int dpi, HFONT font, const SettingsChoice& choice) {
    parent_ = parent;
    for (std::size_t i = 0; i < std::size(kLabels); ++i) {
        labels_[i] = MakeControl(parent, WC_STATICW, kLabels[i].caption, SS_LEFT | SS_NOPREFIX, 0,
                                 kLabels[i].label, dpi, font);
    }
    count_ = MakeChoice(parent, kIdCount, Part::kCount, dpi, font, CountCaptions(), choice.count);
    move_ = MakeChoice(parent, kIdMove, Part::kMove, dpi, font, MoveCaptions(), choice.move);
    location_ = MakeChoice(parent, kIdLocation, Part::kLocation, dpi, font, LocationCaptions(),
                           choice.location);
    speed_ = MakeChoice(parent, kIdSpeed, Part::kSpeed, dpi, font, SpeedCaptions(), choice.speed);
    version_ = MakeText(parent, kIdVersion, Part::kVersion, dpi, font, choice.version);
    copyright_ = MakeText(parent, kIdCopyright, Part::kCopyright, dpi, font, choice.copyright);
    note_ = MakeControl(parent, WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, kIdTextNote,
                        Part::kTextNote, dpi, font);
}

void SettingsPanel::Relayout(int dpi) {
    for (std::size_t i = 0; i < std::size(kLabels); ++i)
        Place(labels_[i], kLabels[i].label, dpi);
    const HWND choices[] = {count_, move_, location_, speed_};
    for (std::size_t i = 0; i < std::size(choices); ++i)
        Place(choices[i], kChoiceParts[i], dpi, kListRows);
    Place(version_, Part::kVersion, dpi);
    Place(copyright_, Part::kCopyright, dpi);
    Place(note_, Part::kTextNote, dpi);
}

SettingsChoice SettingsPanel::Choice() const {
    SettingsChoice choice;
    choice.count = Selection(count_);
    choice.move = Selection(move_);
    choice.location = Selection(location_);
    choice.speed = Selection(speed_);
    choice.version = platform::ToUtf8(TextOf(version_));
    choice.copyright = platform::ToUtf8(TextOf(copyright_));
    return choice;
}

std::optional<std::string> SettingsPanel::CheckTexts() {
    const SettingsChoice choice = Choice();
    std::optional<std::string> problem = HeaderTextProblem(choice.version, "版");
    if (!problem)
        problem = HeaderTextProblem(choice.copyright, "著作権");
    ::SetWindowTextW(note_, problem ? platform::FromUtf8(*problem).c_str() : L"");
    return problem;
}

bool SettingsPanel::Owns(int id) {
    return id == kIdCount || id == kIdMove || id == kIdLocation || id == kIdSpeed ||
           id == kIdVersion || id == kIdCopyright;
}

}  // namespace tovalin::studio

#include "ui/menu_win32.h"

#include "package/words.h"
#include "ui/commands_win32.h"
#include "ui/options_win32.h"

namespace tovalin::ui {

namespace {

// Command ids: each array owns a block of a hundred, the element's index added. In MenuArray's
// order.
struct ArrayCommands {
    UINT base;
    int count;
    void (*click)(int index);
};
constexpr ArrayCommands kArrays[] = {
    {100, static_cast<int>(package::kCountWords.size()), &mCountNum_Click},
    {200, static_cast<int>(package::kLocationWords.size()), &mLocation_Click},
    {300, static_cast<int>(package::kMoveWords.size()), &mMoving_Click},
    {400, static_cast<int>(package::kSpeedWords.size()), &mDousaSpeed_Click},
    {500, 1, &mokiniiri_Click}};
constexpr UINT kVersionId = 600;
constexpr UINT kExitId = 700;
constexpr UINT kOptionBase = 800;

const ArrayCommands& CommandsOf(MenuArray array) {
    return kArrays[static_cast<std::size_t>(array)];
}

UINT IdOf(MenuArray array, int index) {
    return CommandsOf(array).base + static_cast<UINT>(index);
}

HMENU AddSubmenu(HMENU parent, const wchar_t* caption) {
    HMENU sub = ::CreatePopupMenu();
    ::AppendMenuW(parent, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub), caption);
    return sub;
}

void AddItem(HMENU menu, MenuArray array, int index, std::string_view caption) {
    ::AppendMenuW(menu, MF_STRING, IdOf(array, index), package::Widen(caption).c_str());
}

// One item per word of the table, captioned by `caption` of each entry.
template <typename Table, typename Caption>
void AddWords(HMENU menu, MenuArray array, const Table& table, Caption caption) {
    for (std::size_t i = 0; i < table.size(); ++i)
        AddItem(menu, array, static_cast<int>(i), caption(table[i]));
}

}  // namespace

platform::WindowSpec frmMenu::Description() {
    return {.className = L"tovalin.frmMenu", .title = kName, .exStyle = WS_EX_TOOLWINDOW};
}

void frmMenu::Form_Load() {
    BuildTree();
}

void frmMenu::BuildTree() {
    const auto word = [](const auto& entry) { return entry.word; };
    mpop_.reset(::CreatePopupMenu());
    HMENU mpop = mpop_.get();
    HMENU msetting = AddSubmenu(mpop, L"設定");
    AddWords(AddSubmenu(msetting, L"出現数"), MenuArray::mCountNum, package::kCountWords, word);
    AddWords(AddSubmenu(msetting, L"出現位置"), MenuArray::mLocation, package::kLocationWords,
             [](const package::LocationWord& entry) { return entry.caption; });
    AddWords(AddSubmenu(msetting, L"動き"), MenuArray::mMoving, package::kMoveWords, word);
    AddWords(AddSubmenu(msetting, L"動作速度"), MenuArray::mDousaSpeed, package::kSpeedWords, word);
    ::AppendMenuW(msetting, MF_SEPARATOR, 0, nullptr);
    HMENU moption = AddSubmenu(msetting, L"オプション");
    for (std::size_t i = 0; i < kOptions.size(); ++i)
        ::AppendMenuW(moption, MF_STRING, kOptionBase + i, kOptions[i].caption);
    ::AppendMenuW(mpop, MF_SEPARATOR, 0, nullptr);  // sepx
    ::AppendMenuW(AddSubmenu(mpop, L"お気に入り"), MF_STRING, IdOf(MenuArray::mokiniiri, 0),
                  kFavouriteCaption);
    ::AppendMenuW(mpop, MF_SEPARATOR, 0, nullptr);  // sepxxxx
    ::AppendMenuW(mpop, MF_STRING, kVersionId, L"バージョン情報");
    ::AppendMenuW(mpop, MF_SEPARATOR, 0, nullptr);  // sep001
    ::AppendMenuW(mpop, MF_STRING, kExitId, L"終了");
}

void frmMenu::CheckSceneSettings(const shape::SceneSettings& settings) {
    CheckOnly(MenuArray::mCountNum, settings.countItem);
    CheckOnly(MenuArray::mMoving, settings.moveItem);
    CheckOnly(MenuArray::mLocation, settings.locationItem);
    CheckOnly(MenuArray::mDousaSpeed, settings.speedItem);
}

int frmMenu::Count(MenuArray array) const {
    return CommandsOf(array).count;
}

void frmMenu::SetChecked(MenuArray array, int index, bool checked) {
    if (index < 0 || index >= Count(array))
        return;
    ::CheckMenuItem(mpop_.get(), IdOf(array, index),
                    MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED));
}

void frmMenu::CheckOnly(MenuArray array, int index) {
    for (int i = 0; i < Count(array); ++i)
        SetChecked(array, i, false);
    SetChecked(array, index, true);
}

std::wstring frmMenu::Caption(MenuArray array, int index) const {
    wchar_t text[256] = {};
    ::GetMenuStringW(mpop_.get(), IdOf(array, index), text, 256, MF_BYCOMMAND);
    return text;
}

// The options may have changed outside the menu (a hand-edited file, the system's settings), so
// their marks are set as the menu opens.
void frmMenu::CheckOptions() {
    for (std::size_t i = 0; i < kOptions.size(); ++i) {
        ::CheckMenuItem(mpop_.get(), kOptionBase + static_cast<UINT>(i),
                        MF_BYCOMMAND | (OptionOn(kOptions[i].option) ? MF_CHECKED : MF_UNCHECKED));
    }
}

void frmMenu::PopupMpop() {
    CheckOptions();
    POINT at{};
    ::GetCursorPos(&at);
    const platform::Watch alive = MakeWatch();
    const UINT id = static_cast<UINT>(::TrackPopupMenu(
        mpop_.get(), TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_RETURNCMD | TPM_NONOTIFY, at.x, at.y, 0,
        hwnd(), nullptr));
    // Lets the menu close properly when the user clicks elsewhere next time.
    if (alive.Alive() && hwnd())
        ::PostMessageW(hwnd(), WM_NULL, 0, 0);
    if (id != 0 && alive.Alive())
        RunCommand(id);
}

void frmMenu::RunCommand(UINT id) {
    if (id == kExitId) {
        ExitProgram();
        return;
    }
    if (id == kVersionId) {
        mver_Click();
        return;
    }
    if (id >= kOptionBase && id < kOptionBase + kOptions.size()) {
        const Option option = kOptions[id - kOptionBase].option;
        ChooseOption(option, !OptionOn(option));
        return;
    }
    const std::size_t block = id / 100 - 1;
    const int index = static_cast<int>(id % 100);
    if (id < 100 || block >= std::size(kArrays) || index >= kArrays[block].count)
        return;
    kArrays[block].click(index);
}

}  // namespace tovalin::ui

#include "ui/menu_win32.h"

#include "app/shutdown_win32.h"
#include "platform/system_win32.h"
#include "ui/commands_win32.h"

#include <memory>

namespace tovalin::ui {

namespace {

constexpr const wchar_t* kMenuClass = L"tovalin.frmMenu";

// Command ids: each array owns a block of a hundred, the element's index added.
constexpr UINT kArrayBase[] = {100, 200, 300, 400, 500};
constexpr int kArrayCount[] = {3, 2, 4, 3, 1};
constexpr UINT kVersionId = 600;
constexpr UINT kExitId = 700;

UINT IdOf(MenuArray array, int index) {
    return kArrayBase[static_cast<int>(array)] + static_cast<UINT>(index);
}

std::unique_ptr<frmMenu>& MenuSlot() {
    static std::unique_ptr<frmMenu> slot;
    return slot;
}

HMENU AddSubmenu(HMENU parent, const wchar_t* caption) {
    HMENU sub = ::CreatePopupMenu();
    ::AppendMenuW(parent, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(sub), caption);
    return sub;
}

void AddItems(HMENU menu, MenuArray array, std::initializer_list<const wchar_t*> captions) {
    int index = 0;
    for (const wchar_t* caption : captions) {
        ::AppendMenuW(menu, MF_STRING, IdOf(array, index++), caption);
    }
}

}  // namespace

frmMenu& frmMenu::Get() {
    auto& slot = MenuSlot();
    if (!slot) {
        slot.reset(new frmMenu());
        slot->Load();
    }
    return *slot;
}

frmMenu* frmMenu::IfLoaded() {
    return MenuSlot().get();
}

void frmMenu::Unload() {
    auto& slot = MenuSlot();
    if (!slot)
        return;
    std::unique_ptr<frmMenu> gone = std::move(slot);
    gone->DestroyNow();
    app::RetireWindow(std::move(gone));
}

bool frmMenu::Load() {
    platform::WindowSpec desc;
    desc.className = kMenuClass;
    desc.title = L"frmMenu";
    desc.exStyle = WS_EX_TOOLWINDOW;
    const bool created = Create(desc);
    BuildTree();
    return created;
}

void frmMenu::BuildTree() {
    mpop_.reset(::CreatePopupMenu());
    HMENU mpop = mpop_.get();
    HMENU msetting = AddSubmenu(mpop, L"設定");
    AddItems(AddSubmenu(msetting, L"出現数"), MenuArray::mCountNum, {L"1", L"3", L"5"});
    AddItems(AddSubmenu(msetting, L"出現位置"), MenuArray::mLocation, {L"中央", L"乱数"});
    AddItems(AddSubmenu(msetting, L"動き"), MenuArray::mMoving,
             {L"静止", L"直線", L"浮遊", L"跳ねる"});
    AddItems(AddSubmenu(msetting, L"動作速度"), MenuArray::mDousaSpeed,
             {L"遅い", L"普通", L"速い"});
    ::AppendMenuW(mpop, MF_SEPARATOR, 0, nullptr);  // sepx
    AddItems(AddSubmenu(mpop, L"お気に入り"), MenuArray::mokiniiri, {kFavouriteCaption});
    ::AppendMenuW(mpop, MF_SEPARATOR, 0, nullptr);  // sepxxxx
    ::AppendMenuW(mpop, MF_STRING, kVersionId, L"バージョン情報");
    ::AppendMenuW(mpop, MF_SEPARATOR, 0, nullptr);  // sep001
    ::AppendMenuW(mpop, MF_STRING, kExitId, L"終了");
}

int frmMenu::Count(MenuArray array) const {
    return kArrayCount[static_cast<int>(array)];
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

bool frmMenu::IsChecked(MenuArray array, int index) const {
    if (index < 0 || index >= Count(array))
        return false;
    const UINT state = ::GetMenuState(mpop_.get(), IdOf(array, index), MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & MF_CHECKED);
}

std::wstring frmMenu::Caption(MenuArray array, int index) const {
    wchar_t text[256] = {};
    ::GetMenuStringW(mpop_.get(), IdOf(array, index), text, 256, MF_BYCOMMAND);
    return text;
}

void frmMenu::PopupMpop() {
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
    const int block = static_cast<int>(id / 100) - 1;
    const int index = static_cast<int>(id % 100);
    if (block < 0 || block > 4 || index >= kArrayCount[block])
        return;
    switch (static_cast<MenuArray>(block)) {
        case MenuArray::mCountNum:
            mCountNum_Click(index);
            break;
        case MenuArray::mLocation:
            mLocation_Click(index);
            break;
        case MenuArray::mMoving:
            mMoving_Click(index);
            break;
        case MenuArray::mDousaSpeed:
            mDousaSpeed_Click(index);
            break;
        case MenuArray::mokiniiri:
            mokiniiri_Click(index);
            break;
    }
}

}  // namespace tovalin::ui

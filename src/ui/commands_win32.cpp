#include "ui/commands_win32.h"

#include "motion/worker_win32.h"
#include "platform/paths.h"
#include "platform/picture_win32.h"
#include "platform/fatal_exit_win32.h"
#include "platform/folder_win32.h"
#include "platform/guard_win32.h"
#include "platform/message_box_win32.h"
#include "platform/module_path.h"
#include "shape/frames.h"
#include "shape/frames_win32.h"
#include "shape/scene_win32.h"
#include "ui/last_choices_win32.h"
#include "ui/menu_win32.h"
#include "ui/settings_win32.h"
#include "ui/tray_win32.h"
#include "ui/version_win32.h"

#include <string>
#include <vector>

namespace tovalin::ui {

namespace {

constexpr const wchar_t* kFramePatterns = L"*.ico;*.bmp;*.gif";
constexpr const wchar_t* kNoFiles = L"対象となるファイルが存在しません。";

std::wstring ExeFolderAsReported() {
    return platform::FolderOf(platform::ModulePath());
}

// The scene takes the choice (it moves the check mark itself); the word it then holds is
// recorded. `inForce` is the scene's own word, so it is read once the scene has taken the choice.
void RecordChoice(bool (*choose)(int), int index, const wchar_t* section, const wchar_t* key,
                  const std::wstring& inForce, Choice last) {
    if (!choose(index))
        return;
    WriteFolderSetting(section, key, inForce);
    RecordLastChoice(last, inForce);
}

// Loads every listed file of the folder as a frame; files that cannot be decoded are named
// in a message and skipped. Returns the number of frames built.
int LoadFolderFrames(const std::wstring& folder, const std::vector<std::wstring>& names) {
    const platform::PictureBatch batch;
    for (const std::wstring& name : names) {
        std::wstring error;
        const shape::FrameLoad result = shape::LoadFrame(folder + L"\\" + name, &error);
        if (result == shape::FrameLoad::kTableFull)
            break;
        if (result == shape::FrameLoad::kUndecodable) {
            platform::ShowMessage(error, platform::kAppTitle, MB_ICONWARNING);
        }
    }
    return shape::gFrameCount;
}

// The folder's files become the frames; when not one of them can be used the frames in use
// stay. Kept until the new set is built: re-reading the unpacked files could find them deleted
// by another copy of this character that has ended.
bool ReplaceFrames(const std::wstring& folder, const std::vector<std::wstring>& names) {
    shape::SavedFramesPtr inUse = shape::SaveFrameStore();
    shape::ClearFrameStore();
    if (LoadFolderFrames(folder, names) > 0)
        return true;
    shape::RestoreFrameStore(std::move(inUse));
    return false;
}

int FavouriteIndex(const frmMenu& menu, const std::wstring& caption) {
    for (int i = 0; i < menu.Count(MenuArray::mokiniiri); ++i) {
        if (menu.Caption(MenuArray::mokiniiri, i) == caption)
            return i;
    }
    return -1;
}

}  // namespace

void mCountNum_Click(int index) {
    RecordChoice(&shape::SetCount, index, L"Char", L"Count", shape::gCount, Choice::kCount);
}

void mLocation_Click(int index) {
    RecordChoice(&shape::SetLocation, index, L"Location", L"Mode", shape::gLocation,
                 Choice::kLocation);
}

void mMoving_Click(int index) {
    RecordChoice(&shape::SetMove, index, L"Move", L"Mode", shape::gMove, Choice::kMove);
}

void mDousaSpeed_Click(int index) {
    RecordChoice(&shape::SetSpeed, index, L"Anim", L"Mode", shape::gAnim, Choice::kSpeed);
}

void mokiniiri_Click(int index) {
    frmMenu& menu = frmMenu::Get();
    if (index < 0 || index >= menu.Count(MenuArray::mokiniiri))
        return;
    shape::StopScene();
    const std::wstring caption = menu.Caption(MenuArray::mokiniiri, index);
    const std::wstring folder = ExeFolderAsReported() + L"\\" + caption;
    const std::vector<std::wstring> names = platform::ListFolder(folder, kFramePatterns);
    if (names.empty()) {
        // The frames in use are still good: keep them rather than end the program.
        platform::ShowMessage(kNoFiles, platform::kAppTitle, MB_ICONERROR);
        shape::RestartScene();
        return;
    }
    menu.CheckOnly(MenuArray::mokiniiri, index);
    gFolder = caption;
    // Not one file could be used: the characters keep the frames they had.
    if (!ReplaceFrames(folder, names))
        platform::ShowMessage(kNoFiles, platform::kAppTitle, MB_ICONERROR);
    WriteSetting(L"Setting", L"Folder", gFolder);
    std::wstring stored = ReadSetting(L"Setting", L"Folder");
    int found = -1;
    for (int i = 0; i < menu.Count(MenuArray::mokiniiri); ++i) {
        menu.SetChecked(MenuArray::mokiniiri, i, false);
        if (menu.Caption(MenuArray::mokiniiri, i) == stored) {
            menu.SetChecked(MenuArray::mokiniiri, i, true);
            found = i;
        }
    }
    if (found == -1)
        stored = menu.Caption(MenuArray::mokiniiri, 0);
    WriteSetting(L"Setting", L"Folder", stored);
    shape::SetupScene();
}

bool StartWithFavourite(const std::wstring& caption) {
    frmMenu& menu = frmMenu::Get();
    const int index = FavouriteIndex(menu, caption);
    if (index < 0)
        return false;
    const std::wstring folder = ExeFolderAsReported() + L"\\" + caption;
    const std::vector<std::wstring> names = platform::ListFolder(folder, kFramePatterns);
    if (names.empty() || !ReplaceFrames(folder, names))
        return false;
    menu.CheckOnly(MenuArray::mokiniiri, index);
    gFolder = caption;
    return true;
}

void mver_Click() {
    frm_Version::Get().ShowModal();
}

void ExitProgram() {
    platform::Ignoring([] { shape::frmView::UnloadDefault(); });
    platform::Ignoring([] { frm_Version::Unload(); });
    platform::Ignoring([] { motion::frmWork::Unload(); });
    platform::Ignoring([] { frmControl::Unload(); });
    platform::Ignoring([] { frmMenu::Unload(); });
    platform::EndProcessNow(0);
}

}  // namespace tovalin::ui

#include "ui/commands_win32.h"

#include "motion/worker_win32.h"
#include "package/words.h"
#include "platform/paths.h"
#include "platform/picture_win32.h"
#include "platform/fatal_exit_win32.h"
#include "platform/folder_win32.h"
#include "platform/guard_win32.h"
#include "platform/message_box_win32.h"
#include "platform/module_path.h"
#include "shape/frames.h"
#include "shape/frames_win32.h"
#include "shape/scene.h"
#include "shape/scene_win32.h"
#include "ui/menu_win32.h"
#include "ui/settings_win32.h"
#include "ui/tray_win32.h"
#include "ui/version_win32.h"

#include <optional>
#include <string>
#include <vector>

namespace tovalin::ui {

namespace {

constexpr const wchar_t* kFramePatterns = L"*.ico;*.bmp;*.gif";
constexpr const wchar_t* kNoFiles = L"対象となるファイルが存在しません。";

// The word of the clicked element, or nothing for an index outside the table.
template <typename Table>
std::optional<std::wstring> WordAt(const Table& table, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= table.size())
        return std::nullopt;
    return package::Widen(table[static_cast<std::size_t>(index)].word);
}

// Moves the check mark to the clicked element and records the word under "Mode".
void ChooseSetting(MenuArray array, int index, const std::wstring& word, const wchar_t* section) {
    frmMenu::Get().CheckOnly(array, index);
    WriteFolderSetting(section, L"Mode", word);
}

std::wstring ExeFolderAsReported() {
    return platform::FolderOf(platform::ModulePath());
}

void StopScene() {
    motion::frmWork::Get().Timer1.SetEnabled(false);
    const std::size_t n = shape::gViews.size();
    for (std::size_t i = 0; i < n && i < shape::gViews.size(); ++i) {
        shape::gViews[i]->Timer1.SetEnabled(false);
    }
}

void RestartScene() {
    // The frames in use stay; the motion and animation go on as they were.
    motion::frmWork::Get().Timer1.SetEnabled(true);
    for (auto& view : shape::gViews)
        view->Timer1.SetEnabled(true);
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

}  // namespace

void mCountNum_Click(int index) {
    const std::optional<std::wstring> word = WordAt(package::kCountWords, index);
    if (!word)
        return;
    frmMenu::Get().CheckOnly(MenuArray::mCountNum, index);
    shape::gCount = *word;
    WriteFolderSetting(L"Char", L"Count", *word);
    shape::SetupScene();
}

// The chosen place also becomes the one in force, so the next rebuild keeps it.
void mLocation_Click(int index) {
    if (const auto word = WordAt(package::kLocationWords, index)) {
        ChooseSetting(MenuArray::mLocation, index, *word, L"Location");
        shape::gLocation = *word;
    }
}

void mMoving_Click(int index) {
    if (const auto word = WordAt(package::kMoveWords, index)) {
        ChooseSetting(MenuArray::mMoving, index, *word, L"Move");
        shape::SetMove(*word);
    }
}

// The chosen speed also becomes the one in force, so the next rebuild keeps it.
void mDousaSpeed_Click(int index) {
    const auto word = WordAt(package::kSpeedWords, index);
    if (!word)
        return;
    ChooseSetting(MenuArray::mDousaSpeed, index, *word, L"Anim");
    shape::gAnim = *word;
    const unsigned interval = package::kSpeedWords[static_cast<std::size_t>(index)].interval;
    const std::size_t n = shape::gViews.size();
    for (std::size_t i = 0; i < n && i < shape::gViews.size(); ++i) {
        shape::gViews[i]->Timer1.SetInterval(interval);
    }
}

void mokiniiri_Click(int index) {
    frmMenu& menu = frmMenu::Get();
    if (index < 0 || index >= menu.Count(MenuArray::mokiniiri))
        return;
    StopScene();
    const std::wstring caption = menu.Caption(MenuArray::mokiniiri, index);
    const std::wstring folder = ExeFolderAsReported() + L"\\" + caption;
    const std::vector<std::wstring> names = platform::ListFolder(folder, kFramePatterns);
    if (names.empty()) {
        // The frames in use are still good: keep them rather than end the program.
        platform::ShowMessage(kNoFiles, platform::kAppTitle, MB_ICONERROR);
        RestartScene();
        return;
    }
    for (int i = 0; i < menu.Count(MenuArray::mokiniiri); ++i) {
        menu.SetChecked(MenuArray::mokiniiri, i, false);
    }
    menu.SetChecked(MenuArray::mokiniiri, index, true);
    // Kept until the new set is built: re-reading the unpacked files could find them deleted by
    // another copy of this character that has ended.
    shape::SavedFramesPtr inUse = shape::SaveFrameStore();
    shape::ClearFrameStore();
    gFolder = caption;
    if (LoadFolderFrames(folder, names) == 0) {
        // Not one file could be used: the characters keep the frames they had.
        platform::ShowMessage(kNoFiles, platform::kAppTitle, MB_ICONERROR);
        shape::RestoreFrameStore(std::move(inUse));
    }
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

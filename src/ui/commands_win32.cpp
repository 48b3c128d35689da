#include "ui/commands_win32.h"

#include "app/globals.h"
#include "app/paths.h"
#include "app/settings_win32.h"
#include "app/shutdown_win32.h"
#include "app/startup_win32.h"
#include "platform/picture_win32.h"
#include "platform/system_win32.h"
#include "platform/text_win32.h"
#include "shape/frames.h"
#include "shape/frames_win32.h"
#include "shape/scene.h"
#include "shape/scene_win32.h"
#include "ui/menu_win32.h"
#include "ui/tray_win32.h"
#include "ui/version_win32.h"

#include <array>

namespace tovalin::ui {

namespace {

constexpr std::array<const wchar_t*, 3> kCountWords{L"1", L"3", L"5"};
constexpr std::array<const wchar_t*, 2> kLocationWords{L"中心", L"乱数"};
constexpr std::array<const wchar_t*, 4> kMoveWords{L"静止", L"直線", L"浮遊", L"跳ねる"};
constexpr std::array<const wchar_t*, 3> kSpeedWords{L"遅い", L"普通", L"速い"};
constexpr const wchar_t* kFramePatterns = L"*.ico;*.bmp;*.gif";
constexpr const wchar_t* kNoFiles = L"対象となるファイルが存在しません。";

template <std::size_t N>
const wchar_t* WordAt(const std::array<const wchar_t*, N>& words, int index) {
    return (index >= 0 && static_cast<std::size_t>(index) < N)
               ? words[static_cast<std::size_t>(index)]
               : nullptr;
}

// Moves the check mark to the clicked element and records the word; nullptr for a bad index.
const wchar_t* ChooseSetting(MenuArray array, int index, const wchar_t* word,
                             const wchar_t* section) {
    if (!word)
        return nullptr;
    frmMenu::Get().CheckOnly(array, index);
    app::WriteFolderSetting(section, L"Mode", word);
    return word;
}

std::wstring ExeFolderAsReported() {
    return app::FolderOf(platform::ModulePath());
}

void StopScene() {
    app::frmWork::Get().Timer1.SetEnabled(false);
    const std::size_t n = shape::gViews.size();
    for (std::size_t i = 0; i < n && i < shape::gViews.size(); ++i) {
        shape::gViews[i]->Timer1.SetEnabled(false);
    }
}

void RestartScene() {
    // The frames in use stay; the motion and animation go on as they were.
    app::frmWork::Get().Timer1.SetEnabled(true);
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
    const wchar_t* word = WordAt(kCountWords, index);
    if (!word)
        return;
    frmMenu::Get().CheckOnly(MenuArray::mCountNum, index);
    app::gCount = word;
    app::WriteFolderSetting(L"Char", L"Count", word);
    shape::SetupScene();
}

// The chosen place also becomes the one in force, so the next rebuild keeps it.
void mLocation_Click(int index) {
    if (const wchar_t* word = ChooseSetting(MenuArray::mLocation, index,
                                            WordAt(kLocationWords, index), L"Location")) {
        app::gLocation = word;
    }
}

void mMoving_Click(int index) {
    if (const wchar_t* word =
            ChooseSetting(MenuArray::mMoving, index, WordAt(kMoveWords, index), L"Move")) {
        app::gMove = word;
    }
}

// The chosen speed also becomes the one in force, so the next rebuild keeps it.
void mDousaSpeed_Click(int index) {
    const wchar_t* word =
        ChooseSetting(MenuArray::mDousaSpeed, index, WordAt(kSpeedWords, index), L"Anim");
    if (!word)
        return;
    app::gAnim = word;
    const unsigned interval = shape::SpeedFromWord(word).interval;
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
    app::gFolder = caption;
    if (LoadFolderFrames(folder, names) == 0) {
        // Not one file could be used: the characters keep the frames they had.
        platform::ShowMessage(kNoFiles, platform::kAppTitle, MB_ICONERROR);
        shape::RestoreFrameStore(std::move(inUse));
    }
    app::WriteSetting(L"Setting", L"Folder", app::gFolder);
    std::wstring stored = app::ReadSetting(L"Setting", L"Folder");
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
    app::WriteSetting(L"Setting", L"Folder", stored);
    shape::SetupScene();
}

void mver_Click() {
    frm_Version::Get().ShowModal();
}

void ExitProgram() {
    platform::Ignoring([] { shape::frmView::UnloadDefault(); });
    platform::Ignoring([] { frm_Version::Unload(); });
    platform::Ignoring([] { app::frmWork::Unload(); });
    platform::Ignoring([] { frmControl::Unload(); });
    platform::Ignoring([] { frmMenu::Unload(); });
    platform::EndProcessNow(0);
}

}  // namespace tovalin::ui

#include "app/startup_win32.h"

#include "motion/random.h"
#include "motion/worker_win32.h"
#include "package/unpack_win32.h"
#include "platform/paths.h"
#include "platform/picture_win32.h"
#include "platform/fatal_exit_win32.h"
#include "platform/file_win32.h"
#include "platform/message_box_win32.h"
#include "platform/module_path.h"
#include "platform/text_win32.h"
#include "shape/frames.h"
#include "shape/frames_win32.h"
#include "shape/scene_win32.h"
#include "ui/last_choices_win32.h"
#include "ui/menu_win32.h"
#include "ui/options_win32.h"
#include "ui/tray_win32.h"
#include "ui/version_win32.h"

#include <algorithm>
#include <stdexcept>

namespace tovalin::app {

namespace {

constexpr const wchar_t* kNoPackage = L"TOVALIN+で「単体EXE作成」しなければ動作しません。";

[[noreturn]] void Fail(const std::wstring& message) {
    throw std::runtime_error(platform::ToUtf8(message));
}

// Every way out removes the tray icon and what this run unpacked.
void RegisterFatalCleanup() {
    platform::AtFatalExit(&ui::RemoveTrayIcon);
    platform::AtFatalExit(&package::DeleteWrittenFiles);
}

// The scene announces what it applied; the menu's check marks follow.
void CheckMenuFromScene(const shape::SceneSettings& settings) {
    ui::frmMenu::Get().CheckSceneSettings(settings);
}

void ApplySettingsWords(const package::HeaderSettings& words) {
    shape::UseSettingWords(words.gCount, words.gMove, words.gLocation, words.gAnim);
}

// Frames beyond the tables' 51 entries are left out; a frame that cannot be decoded ends
// start-up, since the character would be shown with a hole in its animation. The frames come
// from the package bytes still mapped: the files just written hold the same bytes, and reading
// them back would only cost time.
void LoadPackageFrames() {
    const platform::PictureBatch batch;
    for (std::size_t i = 1; i < package::gTempFiles.size(); ++i) {
        std::wstring error;
        const shape::FrameLoad result =
            shape::LoadFrame(package::PackagedBytes(i), package::UnpackedPath(i), &error);
        if (result == shape::FrameLoad::kTableFull)
            break;
        if (result == shape::FrameLoad::kUndecodable)
            Fail(error);
    }
    package::ReleasePackageBytes();
}

// With "前回の設定で始める" on, the favourite the last run ended with stands in for the
// package's frames, which are then not decoded at all.
void LoadStartingFrames() {
    if (ui::StartWithLastFavourite())
        package::ReleasePackageBytes();
    else
        LoadPackageFrames();
}

void RunSequence() {
    const std::wstring exe = platform::ExePath();
    const std::int32_t imageEnd = package::EXESize(exe);
    const std::optional<std::uint64_t> length = platform::FileLength(exe);
    if (!length) {
        Fail(L"実行ファイル「" + exe + L"」が見つかりません。\n" +
             L"ファイル名の拡張子が「.exe」であることを確認してください。");
    }
    if (!(static_cast<std::uint64_t>(std::max(imageEnd, 0)) < *length)) {
        platform::ShowMessage(kNoPackage, L"警告", 0);
        platform::EndProcessNow(0);
    }
    motion::ReseedFromTimer();
    shape::gFrameCount = 0;
    ApplySettingsWords(package::ReadPackage());
    ui::LoadOptions();
    ui::UseLastWords();
    // The tray host's load step adds the icon, from the unpacked icon file.
    ui::frmControl::Get();
    LoadStartingFrames();
    motion::frmWork::Get().Show(false);
    shape::SetupScene();
    // Only the version dialog shows these: filled once the characters stand, so that nothing
    // the first window does not need comes before it.
    ui::frm_Version::Get().FillFromPackage();
}

}  // namespace

void Form_Load() {
    RegisterFatalCleanup();
    shape::SetSettingsListener(&CheckMenuFromScene);
    try {
        RunSequence();
    } catch (const std::exception& e) {
        platform::FatalExit(L"起動できませんでした。\n" + platform::FromUtf8(e.what()));
    }
}

}  // namespace tovalin::app

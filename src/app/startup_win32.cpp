#include "app/startup_win32.h"

#include "app/globals.h"
#include "app/package.h"
#include "app/paths.h"
#include "app/shutdown_win32.h"
#include "motion/motion_win32.h"
#include "motion/random.h"
#include "platform/file_win32.h"
#include "platform/picture_win32.h"
#include "platform/system_win32.h"
#include "platform/text_win32.h"
#include "shape/frames.h"
#include "shape/frames_win32.h"
#include "shape/scene_win32.h"
#include "ui/tray_win32.h"
#include "ui/version_win32.h"

#include <memory>

namespace tovalin::app {

namespace {

constexpr const wchar_t* kWorkClass = L"tovalin.frmWork";
constexpr const wchar_t* kNoPackage = L"TOVALIN+で「単体EXE作成」しなければ動作しません。";

std::unique_ptr<frmWork>& WorkSlot() {
    static std::unique_ptr<frmWork> slot;
    return slot;
}

std::wstring Describe(DWORD error) {
    return platform::LastErrorText(error);
}

[[noreturn]] void Fail(std::wstring message) {
    throw StartupFailure(std::move(message));
}

// Files written so far by this run, deleted again when start-up fails.
std::vector<std::wstring>& WrittenFiles() {
    static std::vector<std::wstring> written;
    return written;
}

// A refused name may hold control characters; a NUL would cut the message short where it
// stands, so every one is shown as "?".
std::wstring Printable(std::wstring text) {
    for (wchar_t& c : text) {
        if (c < L' ' || c == 0x7F)
            c = L'?';
    }
    return text;
}

void CheckPackageSound(const PackageHeader& header, std::uint64_t fileSize) {
    const std::optional<PackageProblem> problem = CheckPackage(header, fileSize);
    if (!problem)
        return;
    const std::string name = platform::ToUtf8(Printable(platform::FromCp932(problem->name)));
    Fail(platform::FromUtf8(ProblemMessage(*problem, name)));
}

void Unpack(const PackageHeader& header, std::span<const std::uint8_t> file) {
    const std::wstring temp = platform::TempFolderPath();
    for (const cFile& record : header.files) {
        const std::wstring path = temp + platform::FromCp932(record.szFileName);
        const auto first = static_cast<std::size_t>(record.nOffset - 1);
        const auto bytes = file.subspan(first, static_cast<std::size_t>(record.nLen));
        const DWORD error = platform::WriteWholeFile(path, bytes);
        if (error != 0) {
            Fail(L"一時ファイル「" + path + L"」を書き込めませんでした。\n" + Describe(error));
        }
        WrittenFiles().push_back(path);
    }
}

void ApplyHeader(const PackageHeader& header) {
    gTempFiles = header.files;
    gCount = platform::FromCp932(header.gCount);
    gMove = platform::FromCp932(header.gMove);
    gLocation = platform::FromCp932(header.gLocation);
    gAnim = platform::FromCp932(header.gAnim);
    gVersion = platform::FromCp932(header.gVersion);
    gCopyright = platform::FromCp932(header.gCopyright);
}

[[noreturn]] void EndStartup(const std::wstring& message) {
    platform::SuppressAllTimers();
    platform::ShowMessage(L"起動できませんでした。\n" + message, platform::kAppTitle, MB_ICONERROR);
    RemoveTrayIcon();
    for (const std::wstring& path : WrittenFiles())
        platform::DeleteFileNow(path);
    platform::EndProcessNow(1);
}

// Frames beyond the tables' 51 entries are left out; a frame that cannot be decoded ends
// start-up, since the character would be shown with a hole in its animation.
void LoadPackageFrames() {
    const platform::PictureBatch batch;
    const std::wstring temp = platform::TempFolderPath();
    for (std::size_t i = 1; i < gTempFiles.size(); ++i) {
        std::wstring error;
        const shape::FrameLoad result =
            shape::LoadFrame(temp + platform::FromCp932(gTempFiles[i].szFileName), &error);
        if (result == shape::FrameLoad::kTableFull) break;
        if (result == shape::FrameLoad::kUndecodable) Fail(error);
    }
}

}  // namespace

std::wstring ExePath() {
    return ComposeExePath(platform::ModulePath());
}

std::int32_t EXESize(const std::wstring& path) {
    if (!platform::FileExists(path))
        return 0;
    const platform::MappedFile file(path);
    return file.Ok() ? EXESize(file.Bytes()) : 0;
}

void ReadPackage() {
    gTempFiles.clear();
    const std::wstring exe = ExePath();
    const platform::MappedFile file(exe);
    if (!file.Ok()) {
        Fail(L"実行ファイル「" + exe + L"」を読み込めませんでした。\n" + Describe(file.Error()));
    }
    const PackageHeader header = ParsePackageHeader(file.Bytes(), EXESize(file.Bytes()));
    // Every record is checked before the first file is written, so a bad package leaves
    // nothing behind.
    CheckPackageSound(header, file.Bytes().size());
    ApplyHeader(header);
    Unpack(header, file.Bytes());
}

frmWork& frmWork::Get() {
    auto& slot = WorkSlot();
    if (!slot) {
        slot.reset(new frmWork());
        slot->Load();
        slot->Form_Load();
    }
    return *slot;
}

frmWork* frmWork::IfLoaded() {
    return WorkSlot().get();
}

frmWork& frmWork::GetWithoutStartup() {
    auto& slot = WorkSlot();
    if (!slot) {
        slot.reset(new frmWork());
        slot->Load();
    }
    return *slot;
}

void frmWork::Unload() {
    auto& slot = WorkSlot();
    if (!slot)
        return;
    std::unique_ptr<frmWork> gone = std::move(slot);
    gone->Timer1.SetEnabled(false);
    gone->DestroyNow();
    RetireWindow(std::move(gone));
}

bool frmWork::Load() {
    platform::WindowSpec desc;
    desc.className = kWorkClass;
    desc.title = L"frmWork";
    desc.style = WS_POPUP;
    desc.exStyle = WS_EX_TOOLWINDOW;
    return Create(desc);
}

void frmWork::OnTimer(UINT_PTR id) {
    if (id == Timer1.Id())
        motion::MotionTimerTick(Timer1);
}

void frmWork::Form_Load() {
    try {
        const std::wstring exe = ExePath();
        const std::int32_t imageEnd = EXESize(exe);
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
        ReadPackage();
        const std::wstring iconPath =
            platform::TempFolderPath() + platform::FromCp932(gTempFiles.front().szFileName);
        ui::frm_Version::Get().SetImagePicture(iconPath);
        ui::frm_Version::Get().SetWindowIcon(iconPath);
        ui::frmControl::Get().SetWindowIcon(iconPath);
        ui::frm_Version::Get().SetTexts(BaseName(platform::ModulePath()), gVersion, gCopyright);
        LoadPackageFrames();
        Show(false);
        shape::SetupScene();
    } catch (const StartupFailure& failure) {
        EndStartup(failure.Message());
    } catch (const std::exception& e) {
        EndStartup(platform::FromUtf8(e.what()));
    }
}

}  // namespace tovalin::app

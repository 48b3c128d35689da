#include "studio/actions_win32.h"

#include <commdlg.h>

#include <algorithm>
#include <array>
#include <cwctype>
#include <map>
#include <system_error>

#include "pack/file_io.h"
#include "platform/folder_win32.h"
#include "platform/message_box_win32.h"
#include "platform/module_path.h"
#include "platform/text_win32.h"

namespace tovalin::studio {

namespace fs = std::filesystem;

namespace {

constexpr wchar_t kPictureFilter[] =
    L"画像 (*.gif;*.png;*.bmp;*.ico)\0*.gif;*.png;*.bmp;*.ico\0すべてのファイル (*.*)\0*.*\0";
constexpr wchar_t kIconFilter[] = L"アイコン (*.ico)\0*.ico\0すべてのファイル (*.*)\0*.*\0";
constexpr wchar_t kExeFilter[] = L"実行ファイル (*.exe)\0*.exe\0";
// Room for many file names at once: the dialog fails rather than cut a selection short.
constexpr std::size_t kNamesBuffer = 32 * 1024;
constexpr DWORD kEndWaitMs = 3000;

OPENFILENAMEW Dialog(HWND owner, std::wstring& buffer, const wchar_t* filter,
                     const wchar_t* title) {
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter;
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = static_cast<DWORD>(buffer.size());
    dialog.lpstrTitle = title;
    return dialog;
}

// A multi-select answer is the folder and then each name, each ended by a null character; a
// single file comes as one full path.
std::vector<fs::path> SelectedFiles(const std::wstring& buffer) {
    std::vector<std::wstring> parts;
    for (std::size_t at = 0; at < buffer.size() && buffer[at] != L'\0';) {
        const std::size_t end = buffer.find(L'\0', at);
        parts.push_back(buffer.substr(at, end - at));
        at = end + 1;
    }
    std::vector<fs::path> files;
    if (parts.size() == 1) {
        files.emplace_back(parts.front());
    } else {
        for (std::size_t i = 1; i < parts.size(); ++i)
            files.push_back(fs::path(parts.front()) / parts[i]);
    }
    return files;
}

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

// This process's environment with TEMP and TMP pointing at `temp`, as CreateProcess takes it.
std::wstring EnvironmentWithTemp(const fs::path& temp) {
    std::map<std::wstring, std::wstring> variables;  // upper-case name -> "Name=value"
    if (wchar_t* block = ::GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry; entry += std::wcslen(entry) + 1) {
            const std::wstring text = entry;
            const std::size_t equals = text.find(L'=', 1);  // "=C:=C:\..." entries begin with '='
            if (equals != std::wstring::npos)
                variables[Upper(text.substr(0, equals))] = text;
        }
        ::FreeEnvironmentStringsW(block);
    }
    variables[L"TEMP"] = L"TEMP=" + temp.wstring();
    variables[L"TMP"] = L"TMP=" + temp.wstring();
    std::wstring block;
    for (const auto& [name, entry] : variables) {
        block += entry;
        block += L'\0';
    }
    block += L'\0';
    return block;
}

void RemoveFolder(const fs::path& folder) {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

bool FolderGone(const fs::path& folder) {
    std::error_code error;
    return !fs::exists(folder, error) && !error;
}

pack::Character Make(const Project& project, const fs::path& output) {
    const fs::path player = PlayerPath();
    return pack::MakeCharacter(project.Inputs(pack::PathToUtf8(output), pack::PathToUtf8(player),
                                              pack::ReadWholeFile(player)));
}

}  // namespace

std::vector<fs::path> ChooseFrameFiles(HWND owner) {
    std::wstring buffer(kNamesBuffer, L'\0');
    OPENFILENAMEW dialog = Dialog(owner, buffer, kPictureFilter, L"フレームの画像を追加");
    dialog.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!::GetOpenFileNameW(&dialog))
        return {};
    return SelectedFiles(buffer);
}

std::optional<fs::path> ChooseIconFile(HWND owner) {
    std::wstring buffer(MAX_PATH * 4, L'\0');
    OPENFILENAMEW dialog = Dialog(owner, buffer, kIconFilter, L"アイコンを選ぶ");
    dialog.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    if (!::GetOpenFileNameW(&dialog))
        return std::nullopt;
    return fs::path(buffer.c_str());
}

std::optional<fs::path> ChooseOutput(HWND owner, const std::wstring& suggested,
                                     const fs::path& folder) {
    std::wstring buffer(MAX_PATH * 4, L'\0');
    std::copy_n(suggested.begin(), std::min(suggested.size(), buffer.size() - 1), buffer.begin());
    const std::wstring initial = folder.wstring();
    OPENFILENAMEW dialog = Dialog(owner, buffer, kExeFilter, L"単体EXEの保存先");
    dialog.lpstrInitialDir = initial.empty() ? nullptr : initial.c_str();
    dialog.lpstrDefExt = L"exe";
    dialog.Flags = OFN_EXPLORER | OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!::GetSaveFileNameW(&dialog))
        return std::nullopt;
    return fs::path(buffer.c_str());
}

fs::path PlayerPath() {
    const fs::path self = platform::ModulePath();
    return self.empty() ? fs::path(L"tovalin-player.exe")
                        : self.parent_path() / L"tovalin-player.exe";
}

std::wstring WriteCharacter(const Project& project, const fs::path& output) {
    std::vector<fs::path> inputs = project.InputPaths();
    inputs.push_back(PlayerPath());
    pack::RequireDistinctOutput(output, inputs);
    const pack::Character character = Make(project, output);
    const std::array<std::span<const std::uint8_t>, 1> pieces{character.file};
    pack::WriteFileReplacing(output, pieces);
    return L"「" + output.wstring() + L"」を作成しました（フレーム " +
           std::to_wstring(character.frames) + L" 枚、" + std::to_wstring(character.file.size()) +
           L" バイト）。";
}

TrialRuns::~TrialRuns() {
    EndAll();
}

void TrialRuns::Start(const Project& project) {
    const fs::path folder = fs::path(platform::TempFolderPath()) /
                            (L"tovalin-studio-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                             std::to_wstring(++started_));
    const fs::path temp = folder / L"temp";
    std::error_code error;
    fs::create_directories(temp, error);
    if (error)
        throw pack::PackError("試しに動かすためのフォルダーを作成できません: 「" +
                              pack::PathToUtf8(folder) + "」");
    try {
        const fs::path exe = folder / pack::PathFromUtf8(project.SuggestedFileName());
        const pack::Character character = Make(project, exe);
        const std::array<std::span<const std::uint8_t>, 1> pieces{character.file};
        pack::WriteFileReplacing(exe, pieces);
        std::wstring environment = EnvironmentWithTemp(temp);
        std::wstring commandLine = L"\"" + exe.wstring() + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                              CREATE_UNICODE_ENVIRONMENT, environment.data(), folder.c_str(),
                              &startup, &process)) {
            throw pack::PackError("「" + pack::PathToUtf8(exe) + "」を起動できません（" +
                                  platform::ToUtf8(platform::LastErrorText(::GetLastError())) +
                                  "）。");
        }
        const platform::UniqueKernelHandle thread(process.hThread);
        trials_.push_back({platform::UniqueKernelHandle(process.hProcess), folder});
    } catch (...) {
        RemoveFolder(folder);
        throw;
    }
}

// The copy goes once its process has ended; a copy the system still holds is tried again at
// the next look.
bool TrialRuns::Reap() {
    std::erase_if(trials_, [](Trial& trial) {
        if (::WaitForSingleObject(trial.process.get(), 0) != WAIT_OBJECT_0)
            return false;
        RemoveFolder(trial.folder);
        return FolderGone(trial.folder);
    });
    return !trials_.empty();
}

void TrialRuns::EndAll() {
    for (Trial& trial : trials_) {
        if (::WaitForSingleObject(trial.process.get(), 0) != WAIT_OBJECT_0) {
            ::TerminateProcess(trial.process.get(), 0);
            ::WaitForSingleObject(trial.process.get(), kEndWaitMs);
        }
        RemoveFolder(trial.folder);
    }
    trials_.clear();
}

}  // namespace tovalin::studio

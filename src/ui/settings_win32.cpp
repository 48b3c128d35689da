#include "ui/settings_win32.h"

#include "platform/paths.h"
#include "platform/profile_win32.h"
#include "platform/module_path.h"

namespace tovalin::ui {

std::wstring gFolder;

namespace {

constexpr const wchar_t* kFileName = L"TOVALIN.ini";

std::wstring ExeFolder() {
    return platform::FolderOf(platform::ModulePath());
}

}  // namespace

std::wstring SettingsPath() {
    return platform::JoinFolder(ExeFolder(), kFileName);
}

// Before a favourite is chosen gFolder is empty: the doubled backslash reads as one and the
// keys land in the file beside the executable.
std::wstring FolderSettingsPath() {
    return platform::JoinFolder(ExeFolder(), gFolder) + L"\\" + kFileName;
}

std::wstring ReadSetting(const std::wstring& section, const std::wstring& key) {
    return platform::ReadProfileText(SettingsPath(), section, key);
}

bool WriteSetting(const std::wstring& section, const std::wstring& key, const std::wstring& value) {
    return platform::WriteProfileText(SettingsPath(), section, key, value);
}

void WriteFolderSetting(const std::wstring& section, const std::wstring& key,
                        const std::wstring& value) {
    platform::WriteProfileText(FolderSettingsPath(), section, key, value);
}

}  // namespace tovalin::ui

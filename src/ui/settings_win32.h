// The settings files: "TOVALIN.ini" beside the executable and in the favourite folder in use.
// The menu commands are their only users.
#pragma once

#include <string>

namespace tovalin::ui {

// The favourite folder in use, relative to the executable's folder; empty until a favourite is
// chosen.
extern std::wstring gFolder;

std::wstring SettingsPath();
std::wstring FolderSettingsPath();

std::wstring ReadSetting(const std::wstring& section, const std::wstring& key);
bool WriteSetting(const std::wstring& section, const std::wstring& key, const std::wstring& value);
void WriteFolderSetting(const std::wstring& section, const std::wstring& key,
                        const std::wstring& value);

}  // namespace tovalin::ui

// The settings files: "TOVALIN.ini" beside the executable and in the favourite folder in use.
#pragma once

#include <string>

namespace tovalin::app {

std::wstring SettingsPath();
std::wstring FolderSettingsPath();

std::wstring ReadSetting(const std::wstring& section, const std::wstring& key);
void WriteSetting(const std::wstring& section, const std::wstring& key, const std::wstring& value);
void WriteFolderSetting(const std::wstring& section, const std::wstring& key,
                        const std::wstring& value);

}  // namespace tovalin::app

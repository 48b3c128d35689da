// Folders: the user's temporary folder, and the files of a folder as a file list shows them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tovalin::platform {

std::wstring TempFolderPath();  // the user's temporary folder, ending in a backslash

// The files of a folder that match any of the ';'-separated wildcard patterns, ordered by
// name as a file list box orders them (case-insensitively), without the folder.
std::vector<std::wstring> ListFolder(const std::wstring& folder, std::wstring_view patterns);

}  // namespace tovalin::platform

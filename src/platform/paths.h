// Path composition shared by start-up, the settings files and the favourites command.
#pragma once

#include <string>
#include <string_view>

namespace tovalin::platform {

// A folder joined with a name; the backslash is added only when the folder lacks one,
// so a drive root ("C:\") never gets a doubled separator.
std::wstring JoinFolder(std::wstring_view folder, std::wstring_view name);

// The file name without its folder and without its last extension ("a\b\chara.v2.exe" ->
// "chara.v2").
std::wstring BaseName(std::wstring_view path);

// The folder part of a path, without the trailing backslash ("C:\x\y.exe" -> "C:\x", "C:\y.exe" ->
// "C:\").
std::wstring FolderOf(std::wstring_view path);

// The running program's path as the player rebuilds it: its folder, its base name and ".exe",
// whatever extension the file really has.
std::wstring ComposeExePath(std::wstring_view modulePath);

// Trims leading and trailing blanks (spaces only, as the profile and temp-path readers need).
std::wstring TrimBlanks(std::wstring_view text);
std::string TrimBlanks(std::string_view text);

}  // namespace tovalin::platform

// Wildcard patterns as a file list matches them: '*' any run, '?' one character,
// letters compared without regard to ASCII case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tovalin::platform {

bool WildcardMatch(std::wstring_view pattern, std::wstring_view name);

// "*.ico;*.bmp;*.gif" -> {"*.ico", "*.bmp", "*.gif"}; blanks around a pattern are ignored.
std::vector<std::wstring> SplitPatterns(std::wstring_view patterns);

// Orders names as a file list shows them: ASCII case ignored, then by code unit.
bool FileListLess(std::wstring_view a, std::wstring_view b);

}  // namespace tovalin::platform

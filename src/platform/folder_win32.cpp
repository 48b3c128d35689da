#include "platform/folder_win32.h"

#include <algorithm>

#include "platform/handles_win32.h"
#include "platform/paths.h"
#include "platform/wildcard.h"

namespace tovalin::platform {

std::wstring TempFolderPath() {
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
    std::wstring path = TrimBlanks(std::wstring_view(buffer, n <= MAX_PATH ? n : 0));
    if (!path.empty() && path.back() != L'\\')
        path += L'\\';
    return path;
}

std::vector<std::wstring> ListFolder(const std::wstring& folder, std::wstring_view patterns) {
    std::vector<std::wstring> names;
    const std::vector<std::wstring> wanted = SplitPatterns(patterns);
    WIN32_FIND_DATAW found{};
    const UniqueFind search(::FindFirstFileW(JoinFolder(folder, L"*").c_str(), &found));
    if (!search)
        return names;
    do {
        // A file list shows plain files only: no folders, hidden or system files.
        constexpr DWORD kSkipped =
            FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        if (found.dwFileAttributes & kSkipped)
            continue;
        std::wstring_view name(found.cFileName);
        // Matching here, not in FindFirstFile, keeps short 8.3 names from matching
        // "*.gif" against "x.gifs".
        if (std::any_of(wanted.begin(), wanted.end(),
                        [&](const std::wstring& p) { return WildcardMatch(p, name); })) {
            names.emplace_back(name);
        }
    } while (::FindNextFileW(search.get(), &found));
    std::sort(names.begin(), names.end(),
              [](const std::wstring& a, const std::wstring& b) { return FileListLess(a, b); });
    return names;
}

}  // namespace tovalin::platform

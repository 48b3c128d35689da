#include "support/support_win32.h"

#include "platform/handles_win32.h"
#include "platform/text_win32.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>

namespace tovalin::support {

namespace {

// EnumChildWindows already walks every descendant, so this callback must not recurse.
BOOL CALLBACK CountOne(HWND, LPARAM counter) {
    ++*reinterpret_cast<unsigned*>(counter);
    return TRUE;
}

BOOL CALLBACK CountWindowTree(HWND hwnd, LPARAM counter) {
    ++*reinterpret_cast<unsigned*>(counter);
    ::EnumChildWindows(hwnd, CountOne, counter);
    return TRUE;
}

struct ProcessWindowCount {
    DWORD pid;
    unsigned count;
};

BOOL CALLBACK CountProcessWindowTree(HWND hwnd, LPARAM lp) {
    auto* count = reinterpret_cast<ProcessWindowCount*>(lp);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    if (pid == count->pid)
        CountWindowTree(hwnd, reinterpret_cast<LPARAM>(&count->count));
    return TRUE;
}

}  // namespace

bool GuiResourcesWork() {
    return ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS) != 0;
}

unsigned GdiObjects() {
    if (GuiResourcesWork())
        return ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
    unsigned count = 0;
    for (std::uintptr_t i = 1; i < 0x10000; ++i) {
        if (::GetObjectType(reinterpret_cast<HGDIOBJ>(i)) != 0)
            ++count;
    }
    return count;
}

unsigned ThreadWindows() {
    unsigned count = 0;
    ::EnumThreadWindows(::GetCurrentThreadId(), CountWindowTree, reinterpret_cast<LPARAM>(&count));
    return count;
}

unsigned WindowsOf(DWORD pid) {
    ProcessWindowCount count{pid, 0};
    ::EnumWindows(CountProcessWindowTree, reinterpret_cast<LPARAM>(&count));
    return count.count;
}

std::vector<wchar_t> EnvironmentWithTemp(const std::wstring& folder) {
    std::vector<wchar_t> block;
    wchar_t* env = ::GetEnvironmentStringsW();
    for (const wchar_t* p = env; *p; p += std::wcslen(p) + 1) {
        if (_wcsnicmp(p, L"TEMP=", 5) == 0 || _wcsnicmp(p, L"TMP=", 4) == 0)
            continue;
        block.insert(block.end(), p, p + std::wcslen(p) + 1);
    }
    ::FreeEnvironmentStringsW(env);
    for (const wchar_t* name : {L"TEMP=", L"TMP="}) {
        const std::wstring entry = name + folder;
        block.insert(block.end(), entry.begin(), entry.end());
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}

std::vector<std::wstring> FilesIn(const std::wstring& folder,
                                  const std::vector<std::wstring>& patterns) {
    std::vector<std::wstring> paths;
    for (const std::wstring& pattern : patterns) {
        WIN32_FIND_DATAW found;
        const platform::UniqueFind search(
            ::FindFirstFileW((folder + L"\\" + pattern).c_str(), &found));
        if (!search)
            continue;
        do {
            paths.push_back(folder + L"\\" + found.cFileName);
        } while (::FindNextFileW(search.get(), &found));
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::wstring SystemPath(std::string_view utf8Path) {
    std::wstring path = platform::FromUtf8(utf8Path);
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path.starts_with(L"\\") ? L"Z:" + path : path;
}

std::wstring SourcePath(std::wstring_view relative) {
    return SystemPath(TOVALIN_SOURCE_DIR) + L"\\" + std::wstring(relative);
}

std::wstring SampleFrame(int n) {
    wchar_t name[32];
    swprintf(name, 32, L"frame%02d.gif", n);
    return SourcePath(L"assets\\sample\\frames\\") + name;
}

}  // namespace tovalin::support

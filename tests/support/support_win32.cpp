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

// True when one of the "NAME=value" entries sets the variable the "NAME=value" text sets
// (environment names ignore case).
bool ReplacedBy(const wchar_t* variable, const std::vector<std::wstring>& entries) {
    const wchar_t* equals = std::wcschr(variable + 1, L'=');  // "=C:=C:\\" names start with '='
    if (!equals)
        return false;
    const auto nameLength = static_cast<std::size_t>(equals - variable) + 1;
    for (const std::wstring& entry : entries) {
        if (entry.size() >= nameLength && _wcsnicmp(entry.c_str(), variable, nameLength) == 0)
            return true;
    }
    return false;
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

double NowSeconds() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency;
}

std::vector<wchar_t> EnvironmentWithTemp(const std::wstring& folder,
                                         const std::vector<std::wstring>& extra) {
    std::vector<std::wstring> entries = extra;
    entries.push_back(L"TEMP=" + folder);
    entries.push_back(L"TMP=" + folder);
    std::vector<wchar_t> block;
    wchar_t* env = ::GetEnvironmentStringsW();
    for (const wchar_t* p = env; *p; p += std::wcslen(p) + 1) {
        if (!ReplacedBy(p, entries))
            block.insert(block.end(), p, p + std::wcslen(p) + 1);
    }
    ::FreeEnvironmentStringsW(env);
    for (const std::wstring& entry : entries) {
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

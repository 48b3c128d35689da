// The packer's host pieces on Windows: the system converter for code page 932, the wide
// command line, the module path and the console.
#include "pack/cp932.h"

#include <windows.h>
#include <shellapi.h>

#include <climits>
#include <memory>

namespace tovalin::pack {

namespace {

constexpr UINT kCp932 = 932;

std::optional<std::wstring> Widen(UINT codePage, DWORD flags, std::string_view text) {
    if (text.empty())
        return std::wstring();
    if (text.size() > INT_MAX)
        return std::nullopt;
    int length = static_cast<int>(text.size());
    int needed = MultiByteToWideChar(codePage, flags, text.data(), length, nullptr, 0);
    if (needed <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    if (MultiByteToWideChar(codePage, flags, text.data(), length, wide.data(), needed) != needed) {
        return std::nullopt;
    }
    return wide;
}

// usedDefault must be null for UTF-8, which has no default character.
std::optional<std::string> Narrow(UINT codePage, DWORD flags, std::wstring_view text,
                                  BOOL* usedDefault) {
    if (text.empty())
        return std::string();
    if (text.size() > INT_MAX)
        return std::nullopt;
    int length = static_cast<int>(text.size());
    int needed =
        WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return std::nullopt;
    std::string narrow(static_cast<std::size_t>(needed), '\0');
    if (WideCharToMultiByte(codePage, flags, text.data(), length, narrow.data(), needed, nullptr,
                            usedDefault) != needed) {
        return std::nullopt;
    }
    return narrow;
}

std::string ToUtf8(std::wstring_view wide) {
    return Narrow(CP_UTF8, 0, wide, nullptr).value_or(std::string());
}

struct LocalFreer {
    void operator()(LPWSTR* block) const { LocalFree(block); }
};

}  // namespace

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
    std::optional<std::wstring> wide = Widen(CP_UTF8, MB_ERR_INVALID_CHARS, utf8);
    if (!wide)
        return std::nullopt;
    BOOL usedDefault = FALSE;
    std::optional<std::string> bytes = Narrow(kCp932, WC_NO_BEST_FIT_CHARS, *wide, &usedDefault);
    if (!bytes || usedDefault)
        return std::nullopt;
    return bytes;
}

std::optional<std::string> Cp932ToUtf8Exact(std::string_view cp932) {
    std::optional<std::wstring> wide = Widen(kCp932, MB_ERR_INVALID_CHARS, cp932);
    if (!wide)
        return std::nullopt;
    return Narrow(CP_UTF8, 0, *wide, nullptr);
}

std::string Cp932ToUtf8(std::string_view cp932) {
    return ToUtf8(Widen(kCp932, 0, cp932).value_or(std::wstring()));
}

// The narrow argv the runtime hands main() went through the ANSI code page and may have lost
// characters; the wide command line has them all.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int count = 0;
    std::unique_ptr<LPWSTR, LocalFreer> wide(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!wide)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(ToUtf8(wide.get()[i]));
    return arguments;
}

std::filesystem::path ExecutablePath() {
    std::wstring buffer(MAX_PATH, L'\0');
    while (true) {
        DWORD size = static_cast<DWORD>(buffer.size());
        DWORD length = GetModuleFileNameW(nullptr, buffer.data(), size);
        if (length == 0)
            return {};
        if (length < size) {
            buffer.resize(length);
            return std::filesystem::path(buffer);
        }
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

void WriteText(std::FILE* stream, std::string_view utf8) {
    HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode)) {
        std::fflush(stream);
        std::wstring wide = Widen(CP_UTF8, 0, utf8).value_or(std::wstring());
        DWORD written = 0;
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    // Redirected output is a byte stream: UTF-8 as it stands.
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}

}  // namespace tovalin::pack

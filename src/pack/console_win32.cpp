#include "pack/console.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/handles_win32.h"
#include "platform/text_win32.h"

namespace tovalin::pack {

// The narrow argv the runtime hands main() went through the ANSI code page and may have lost
// characters; the wide command line has them all.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    const platform::UniqueLocalMemory block(wide);
    if (!wide)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i)
        arguments.push_back(platform::ToUtf8(wide[i]));
    return arguments;
}

void WriteText(std::FILE* stream, std::string_view utf8) {
    HANDLE handle = ::GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr && ::GetConsoleMode(handle, &mode)) {
        std::fflush(stream);
        const std::wstring wide = platform::FromUtf8(utf8);
        DWORD written = 0;
        ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    // Redirected output is a byte stream: UTF-8 as it stands.
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}

}  // namespace tovalin::pack

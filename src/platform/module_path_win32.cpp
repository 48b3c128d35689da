#include "platform/module_path.h"

#include <windows.h>

namespace tovalin::platform {

std::filesystem::path::string_type ModulePath() {
    // No path is longer than this; a system that keeps filling the buffer is not answering.
    constexpr std::size_t kLongestPath = 32768;
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), size);
        if (n == 0)
            return {};
        if (n < size) {
            buffer.resize(n);
            return buffer;
        }
        if (buffer.size() >= kLongestPath)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace tovalin::platform

#include "platform/counters_win32.h"

#include "platform/handles_win32.h"

#include <cstring>

namespace tovalin::platform {

std::wstring CounterBlockName(DWORD pid) {
    return L"Local\\tovalin-counters-" + std::to_wstring(pid);
}

void ShareCountersIfAsked() {
    wchar_t value[4] = {};
    if (::GetEnvironmentVariableW(L"TOVALIN_COUNTERS", value, 4) != 1 || value[0] != L'1')
        return;
    // Kept for the life of the process: the reader opens it by name while the player runs.
    static UniqueKernelHandle mapping(::CreateFileMappingW(
        INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(CounterValues),
        CounterBlockName(::GetCurrentProcessId()).c_str()));
    if (!mapping)
        return;
    void* view = ::MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, sizeof(CounterValues));
    if (!view)
        return;
    auto* shared = static_cast<CounterValues*>(view);
    *shared = *CounterBlock();
    CounterBlock() = shared;
}

std::optional<CounterValues> ReadSharedCounters(DWORD pid) {
    const UniqueKernelHandle mapping(
        ::OpenFileMappingW(FILE_MAP_READ, FALSE, CounterBlockName(pid).c_str()));
    if (!mapping)
        return std::nullopt;
    const UniqueMapView view(
        ::MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, sizeof(CounterValues)));
    if (!view)
        return std::nullopt;
    CounterValues values{};
    std::memcpy(values.data(), view.get(), sizeof(values));
    return values;
}

}  // namespace tovalin::platform

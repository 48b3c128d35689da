#include "platform/system_function_win32.h"

#include <windows.h>
#include <commctrl.h>

namespace tovalin::platform {

void* SystemFunctionAddress(const wchar_t* module, const char* name) {
    HMODULE handle = ::GetModuleHandleW(module);
    if (!handle)
        handle = ::LoadLibraryW(module);
    return handle ? reinterpret_cast<void*>(::GetProcAddress(handle, name)) : nullptr;
}

void LoadCommonControls() {
    using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    static const bool loaded = [] {
        const auto init = SystemFunction<InitFn>(L"comctl32.dll", "InitCommonControlsEx");
        const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
        return init && init(&controls);
    }();
    (void)loaded;
}

}  // namespace tovalin::platform

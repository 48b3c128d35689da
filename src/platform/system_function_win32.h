// Functions of system libraries the program does not import: the functions of newer systems,
// and libraries whose loading would slow every start for a rare use.
#pragma once

namespace tovalin::platform {

// A system library's function looked up by name; null when the library or the function is
// missing.
void* SystemFunctionAddress(const wchar_t* module, const char* name);
template <typename Function>
Function SystemFunction(const wchar_t* module, const char* name) {
    return reinterpret_cast<Function>(SystemFunctionAddress(module, name));
}

// Loads the common controls (version 6, as the manifest asks) for the dialogs that use them.
// Done when the first such dialog opens: loading the library costs more than everything else a
// start does.
void LoadCommonControls();

}  // namespace tovalin::platform

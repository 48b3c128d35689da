// What tests and benchmarks count and set up around a process (its GDI objects and windows, an
// environment for a child with its own temporary folder) and where they find their files.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace tovalin::support {

// True where the system keeps GDI counts per process (GetGuiResources); Wine leaves it a stub.
bool GuiResourcesWork();

// This process's GDI objects: GetGuiResources where it works, otherwise the handle table read
// through GetObjectType (a handle with a zero upper half names table entry LOWORD whatever its
// generation).
unsigned GdiObjects();

// The windows this thread owns, hidden and child ones included: what a scene could leave.
unsigned ThreadWindows();

// Every window of a process, hidden and child ones included: its USER objects seen from outside.
unsigned WindowsOf(DWORD pid);

// Seconds on the performance counter, for the benchmarks' timings.
double NowSeconds();

// A copy of this process's environment block with TEMP and TMP pointing at folder, and with the
// extra "NAME=value" entries in place of any variables of the same names.
std::vector<wchar_t> EnvironmentWithTemp(const std::wstring& folder,
                                         const std::vector<std::wstring>& extra = {});

// The files of a folder that match any of the patterns ("*.gif"), as full paths in name order.
std::vector<std::wstring> FilesIn(const std::wstring& folder,
                                  const std::vector<std::wstring>& patterns);

// A path of the build machine as this process sees it: a Unix path through Wine's drive Z:.
std::wstring SystemPath(std::string_view utf8Path);

// A file or folder of the source tree ("assets\\sample"), and the sample character's frame n
// (from 1).
std::wstring SourcePath(std::wstring_view relative);
std::wstring SampleFrame(int n);

}  // namespace tovalin::support

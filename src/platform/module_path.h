// The running executable's own path, for the player, the studio and the packer alike.
// Implemented with the Windows API (module_path_win32.cpp) and with /proc (module_path_posix.cpp).
#pragma once

#include <filesystem>

namespace tovalin::platform {

// The running executable as the system reports it, in the system's own string type (UTF-16 on
// Windows); empty when the system cannot tell.
std::filesystem::path::string_type ModulePath();

}  // namespace tovalin::platform

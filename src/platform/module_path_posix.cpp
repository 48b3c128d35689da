#include "platform/module_path.h"

#include <system_error>

namespace tovalin::platform {

std::filesystem::path::string_type ModulePath() {
    std::error_code error;
    std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::filesystem::path::string_type() : path.native();
}

}  // namespace tovalin::platform

// The packer's command line: tovalin-pack create | list | extract | --help | --version.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tovalin::pack {

struct CommandResult {
    int exitCode = 0;
    std::string out;  // UTF-8 for stdout
    std::string err;  // UTF-8 for stderr
};

// arguments excludes the program name. defaultPlayer is used when create gets no --player.
CommandResult RunPacker(const std::vector<std::string>& arguments,
                        const std::filesystem::path& defaultPlayer);

}  // namespace tovalin::pack

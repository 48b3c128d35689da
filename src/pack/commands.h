// The packer's three commands. Texts in and out are UTF-8; failures throw PackError.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "pack/character.h"

namespace tovalin::pack {

struct CreateOptions {
    std::string output;               // the character executable to make
    std::string icon;                 // an .ico file; empty: made from the first frame
    std::vector<std::string> frames;  // picture files, in animation order
    CharacterSettings settings;
    std::filesystem::path player;  // the player to copy
};

// Reads the files, makes the character (MakeCharacter) and writes it to options.output, the
// picture files read as ReadFrameFile reads them; returns a one-line summary.
std::string CreateCharacter(const CreateOptions& options);

// A human-readable account of the package in a character executable. problem receives the
// reason the player would refuse the package (empty when it would not).
std::string ListPackage(const std::filesystem::path& executable, std::string& problem);

// Writes the packaged files into folder (created when missing); returns the written names.
std::vector<std::string> ExtractPackage(const std::filesystem::path& executable,
                                        const std::filesystem::path& folder);

}  // namespace tovalin::pack

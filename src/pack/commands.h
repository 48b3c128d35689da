// The packer's three commands. Texts in and out are UTF-8; failures throw PackError.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tovalin::pack {

struct CreateOptions {
    std::string output;               // the character executable to make
    std::string icon;                 // an .ico file
    std::vector<std::string> frames;  // GIF files, in animation order
    std::string count = "1";
    std::string move = "静止";
    std::string location = "中心";
    std::string speed = "普通";
    std::string version = "Ver 1.00";
    std::string copyright;
    std::filesystem::path player;  // the player to copy
};

// The code page 932 bytes of a header value given as UTF-8; throws PackError, naming the option
// `what`, when the text holds a CR or LF (it would end the line early) or a character the code
// page cannot hold exactly.
std::string EncodeHeaderText(std::string_view utf8, std::string_view what);

// Settings words as the header holds them; the English aliases give the same words.
// Nothing for a word the player does not know.
std::optional<std::string> CountWord(std::string_view word);
std::optional<std::string> MoveWord(std::string_view word);
std::optional<std::string> LocationWord(std::string_view word);
std::optional<std::string> SpeedWord(std::string_view word);

// Copies the player and appends the package; returns a one-line summary.
std::string CreateCharacter(const CreateOptions& options);

// A human-readable account of the package in a character executable. problem receives the
// reason the player would refuse the package (empty when it would not).
std::string ListPackage(const std::filesystem::path& executable, std::string& problem);

// Writes the packaged files into folder (created when missing); returns the written names.
std::vector<std::string> ExtractPackage(const std::filesystem::path& executable,
                                        const std::filesystem::path& folder);

}  // namespace tovalin::pack

// Everything the studio knows about the character being made: its frames, its icon (chosen,
// or none, then made from the first frame), and its settings as the controls hold them; and
// what the packer core is given for it. Portable.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pack/character.h"
#include "studio/frame_list.h"

namespace tovalin::studio {

// The settings as the controls hold them: an index into each vocabulary (package/words.h) and
// the two texts.
struct SettingsChoice {
    std::size_t count = 0;
    std::size_t move = 0;
    std::size_t location = 0;
    std::size_t speed = 0;
    std::string version;
    std::string copyright;
};

// The packer's defaults (pack::CharacterSettings) as indices and texts.
SettingsChoice DefaultSettings();

// What each choice box lists, in the vocabulary's order: the words, the location's as the
// player's menu reads them.
std::vector<std::string> CountCaptions();
std::vector<std::string> MoveCaptions();
std::vector<std::string> LocationCaptions();
std::vector<std::string> SpeedCaptions();

// The player's animation interval for the chosen speed, in milliseconds.
unsigned AnimationInterval(const SettingsChoice& choice);

// Why the text cannot be a header value (a character code page 932 cannot hold, a line
// break), or nothing when it can; `what` names the field.
std::optional<std::string> HeaderTextProblem(std::string_view text, std::string_view what);

struct Project {
    FrameList frames;
    std::optional<pack::IconFile> icon;  // none: made from the first frame
    std::filesystem::path iconPath;
    SettingsChoice settings = DefaultSettings();

    // The ICO file the character will carry: the chosen one, or the one made from the first
    // frame as the packer makes it; empty while there is neither.
    pack::Bytes IconFileBytes() const;

    // The settings as the header's words.
    pack::CharacterSettings Words() const;

    // The files the character is made from, which the output must not replace.
    std::vector<std::filesystem::path> InputPaths() const;

    // What the packer core is given to make this character as `output` from the player.
    pack::CharacterInputs Inputs(std::string output, std::string playerName,
                                 pack::Bytes player) const;

    // The name offered for the executable: the icon's file name, else the first frame's
    // without the numbering a series of frames carries ("walk_01" -> "walk"), else
    // "キャラクター"; with ".exe".
    std::string SuggestedFileName() const;
};

}  // namespace tovalin::studio

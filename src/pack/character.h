// The packer's core: a character executable made from the character's inputs. tovalin-pack and
// the studio both make their executables here and nowhere else, so that the same inputs give the
// same bytes whichever of them is asked. Texts in are UTF-8; failures throw PackError with a
// Japanese message that names the file concerned.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "pack/file_io.h"
#include "pack/image.h"

namespace tovalin::pack {

// A GIF file as given: kept byte for byte when it holds one image; every image of an animation
// becomes a frame of its own, composited as a viewer shows it and converted like a picture.
struct GifFile {
    std::string name;  // for messages: the path as the user gave it
    Bytes bytes;
};

// A picture already decoded (from a PNG, BMP or ICO file, or one image of an animation):
// converted to at most 256 colours and one transparent index (ToIndexed), written as a GIF.
struct PictureFrame {
    std::string name;
    RgbaImage picture;
};

using FrameSource = std::variant<GifFile, PictureFrame>;

// All frames together may hold this many pixels: a bound on the memory and time making them
// costs, far above any character the player can usefully show.
inline constexpr std::uint64_t kMaxCharacterPixels = 32u * 1024u * 1024u;

// The settings the header carries: the settings words (package/words.h) or their English
// aliases, and two free texts that must be representable in code page 932.
struct CharacterSettings {
    std::string count = "1";
    std::string move = "静止";
    std::string location = "中心";
    std::string speed = "普通";
    std::string version = "Ver 1.00";
    std::string copyright;
};

struct IconFile {
    std::string name;
    Bytes bytes;  // an ICO file
};

struct CharacterInputs {
    std::vector<FrameSource> frames;  // in animation order
    std::optional<IconFile> icon;     // made from the first frame when there is none
    CharacterSettings settings;
    // The executable's name or path; it must end in ".exe", and its base name names the
    // packaged files (NAME.ico, 01_NAME.gif, ...): the player finds itself by that name.
    std::string output;
    std::string playerName;  // for messages
    Bytes player;            // a bare player image: no package, resources as its last section
};

// One frame as the package holds it.
struct PackagedFrame {
    Bytes gif;          // the GIF file in the package
    RgbaImage picture;  // the frame as drawn, before any conversion: the icon is made from it
};

// The frames a source gives, in order. A GIF holding more than `room` images is refused with a
// message saying that the frame limit was reached (an animation counts image by image); a GIF
// is decoded in any case, so that a file the player could not show is refused here.
std::vector<PackagedFrame> PackageFrames(const FrameSource& source, std::size_t room);

struct Character {
    Bytes file;              // the whole executable
    std::size_t frames = 0;  // frames in its package
};

// The player with the character's icon as its icon resources (ReplaceIconResources), followed
// by the package: the header (package/writer.h), the icon (the given ICO file, or
// MakeCharacterIcon of the first frame) and the frames. The result is read back with the
// player's own reader before it is returned.
Character MakeCharacter(const CharacterInputs& inputs);

// The message refusing `wanted` frames, more than a package holds.
std::string TooManyFramesMessage(std::size_t wanted);

// The code page 932 bytes of a header value given as UTF-8; throws PackError, naming the field
// `what`, when the text holds a CR or LF (it would end the line early) or a character the code
// page cannot hold exactly.
std::string EncodeHeaderText(std::string_view utf8, std::string_view what);

// Settings words as the header holds them; the English aliases give the same words.
// Nothing for a word the player does not know.
std::optional<std::string> CountWord(std::string_view word);
std::optional<std::string> MoveWord(std::string_view word);
std::optional<std::string> LocationWord(std::string_view word);
std::optional<std::string> SpeedWord(std::string_view word);

}  // namespace tovalin::pack

// The studio's frames in animation order, and how files become frames: picture files as the
// packer reads them, folders opened, an animation split into its images, the limit of a
// package's frames kept. Portable: the windows only show it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "pack/character.h"
#include "studio/outline.h"

namespace tovalin::studio {

struct Frame {
    pack::FrameSource source;    // what the character is made from
    std::string label;           // the file's name; an animation's image also its number
    std::filesystem::path path;  // the file it came from
    pack::Bytes packaged;        // the GIF the package will hold
    Outline outline;             // the frame as the player will show it
};

class FrameList {
  public:
    std::size_t size() const { return frames_.size(); }
    bool empty() const { return frames_.empty(); }
    const Frame& operator[](std::size_t i) const { return frames_[i]; }
    // Frames that can still be added before the package is full.
    std::size_t Room() const;

    // Appends frames in order; the caller has kept to Room().
    void Append(std::vector<Frame> frames);
    // Each returns false, changing nothing, when there is no such move or frame.
    bool MoveUp(std::size_t i);
    bool MoveDown(std::size_t i);
    bool Remove(std::size_t i);

    std::vector<pack::FrameSource> Sources() const;
    std::vector<std::filesystem::path> Paths() const;

  private:
    std::vector<Frame> frames_;
};

// The picture files a folder holds (GIF, PNG, BMP, ICO, by extension), in name order with
// letter case ignored; a file is itself.
std::vector<std::filesystem::path> PicturesIn(const std::filesystem::path& path);

// The frames one file gives, at most `room`: a single-image GIF as it is, an animation's
// images one by one, any other picture decoded (pack::ReadFrameFile). Throws PackError naming
// the file.
std::vector<Frame> LoadFrames(const std::filesystem::path& path, std::size_t room,
                              std::uint32_t background);

// An ICO file checked as the packer checks it; throws PackError naming the file.
pack::IconFile ReadIconFile(const std::filesystem::path& path);

// Whether the last file of a batch, when it is an ICO, is the icon (the command line, a drop)
// or a frame like the others (files chosen as frames).
enum class LastIco { kIcon, kFrame };

// What a list of files and folders adds: folders opened, the others frames. A batch with more
// frames than there is room for adds none, and costs no decoding; a file that cannot be read
// is left out and its reason kept.
struct Batch {
    std::vector<Frame> frames;
    std::optional<pack::IconFile> icon;
    std::filesystem::path iconPath;
    std::vector<std::string> problems;  // Japanese, each naming its file
};
Batch LoadBatch(const std::vector<std::filesystem::path>& paths, std::size_t room,
                std::uint32_t background, LastIco lastIco);

}  // namespace tovalin::studio

#include "studio/frame_list.h"

#include <algorithm>
#include <array>
#include <system_error>

#include "pack/file_io.h"
#include "pack/icon.h"
#include "pack/picture_file.h"
#include "package/package.h"
#include "package/writer.h"

namespace tovalin::studio {

namespace fs = std::filesystem;

namespace {

constexpr auto kMaxFrames = static_cast<std::size_t>(package::kMaxFrames);

std::string Lower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string ExtensionOf(const fs::path& path) {
    return Lower(pack::PathToUtf8(path.extension()));
}

bool IsPictureName(const fs::path& path) {
    constexpr std::array<std::string_view, 4> kExtensions{".gif", ".png", ".bmp", ".ico"};
    const std::string extension = ExtensionOf(path);
    return std::find(kExtensions.begin(), kExtensions.end(), extension) != kExtensions.end();
}

bool IsFolder(const fs::path& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

std::string Quoted(const fs::path& path) {
    return "「" + pack::PathToUtf8(path) + "」";
}

std::string FileName(const fs::path& path) {
    return pack::PathToUtf8(path.filename());
}

// An animation's images travel as pictures, each converted on its own, which gives exactly
// the frames the packer makes from the whole file.
std::string ImageLabel(const fs::path& path, std::size_t index, std::size_t count) {
    return FileName(path) + " (" + std::to_string(index + 1) + "/" + std::to_string(count) + ")";
}

}  // namespace

std::size_t FrameList::Room() const {
    return frames_.size() >= kMaxFrames ? 0 : kMaxFrames - frames_.size();
}

void FrameList::Append(std::vector<Frame> frames) {
    for (Frame& frame : frames)
        frames_.push_back(std::move(frame));
}

bool FrameList::MoveUp(std::size_t i) {
    if (i == 0 || i >= frames_.size())
        return false;
    std::swap(frames_[i - 1], frames_[i]);
    return true;
}

bool FrameList::MoveDown(std::size_t i) {
    if (i + 1 >= frames_.size())
        return false;
    std::swap(frames_[i], frames_[i + 1]);
    return true;
}

bool FrameList::Remove(std::size_t i) {
    if (i >= frames_.size())
        return false;
    frames_.erase(frames_.begin() + static_cast<std::ptrdiff_t>(i));
    return true;
}

std::vector<pack::FrameSource> FrameList::Sources() const {
    std::vector<pack::FrameSource> sources;
    for (const Frame& frame : frames_)
        sources.push_back(frame.source);
    return sources;
}

std::vector<fs::path> FrameList::Paths() const {
    std::vector<fs::path> paths;
    for (const Frame& frame : frames_)
        paths.push_back(frame.path);
    return paths;
}

std::vector<fs::path> PicturesIn(const fs::path& path) {
    if (!IsFolder(path))
        return {path};
    std::vector<fs::path> pictures;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(path, error)) {
        std::error_code ignored;
        if (entry.is_regular_file(ignored) && IsPictureName(entry.path()))
            pictures.push_back(entry.path());
    }
    if (error)
        throw pack::PackError("フォルダーを読めません: " + Quoted(path));
    std::sort(pictures.begin(), pictures.end(), [](const fs::path& a, const fs::path& b) {
        const std::string left = FileName(a), right = FileName(b);
        const std::string lowerLeft = Lower(left), lowerRight = Lower(right);
        return lowerLeft != lowerRight ? lowerLeft < lowerRight : left < right;
    });
    return pictures;
}

std::vector<Frame> LoadFrames(const fs::path& path, std::size_t room, std::uint32_t background) {
    pack::FrameSource source = pack::ReadFrameFile(path);
    std::vector<pack::PackagedFrame> made = pack::PackageFrames(source, room);
    std::vector<Frame> frames;
    if (made.size() == 1) {
        Outline outline = OutlineOf(made.front().gif, background);
        frames.push_back({std::move(source), FileName(path), path, std::move(made.front().gif),
                          std::move(outline)});
        return frames;
    }
    for (std::size_t i = 0; i < made.size(); ++i) {
        const std::string label = ImageLabel(path, i, made.size());
        Outline outline = OutlineOf(made[i].gif, background);
        pack::PictureFrame picture{pack::PathToUtf8(path) + " (" + std::to_string(i + 1) + ")",
                                   std::move(made[i].picture)};
        frames.push_back(
            {std::move(picture), label, path, std::move(made[i].gif), std::move(outline)});
    }
    return frames;
}

pack::IconFile ReadIconFile(const fs::path& path) {
    pack::IconFile icon{pack::PathToUtf8(path), pack::ReadWholeFile(path)};
    if (!package::IsIconFile(icon.bytes))
        throw pack::PackError(Quoted(path) + "はアイコン（ICO）ではありません。");
    try {
        pack::ReadIco(icon.bytes);
    } catch (const pack::PackError& error) {
        throw pack::PackError(Quoted(path) + ": " + error.what());
    }
    return icon;
}

Batch LoadBatch(const std::vector<fs::path>& paths, std::size_t room, std::uint32_t background,
                LastIco lastIco) {
    Batch batch;
    std::vector<fs::path> files;
    try {
        for (const fs::path& path : paths) {
            for (fs::path& picture : PicturesIn(path))
                files.push_back(std::move(picture));
        }
    } catch (const pack::PackError& error) {
        batch.problems.push_back(error.what());
        return batch;
    }
    if (lastIco == LastIco::kIcon && !files.empty() && ExtensionOf(files.back()) == ".ico") {
        batch.iconPath = files.back();
        files.pop_back();
        try {
            batch.icon = ReadIconFile(batch.iconPath);
        } catch (const pack::PackError& error) {
            batch.problems.push_back(error.what());
        }
    }
    // Counted before anything is decoded: a folder of many pictures costs nothing.
    if (files.size() > room) {
        batch.problems.push_back("フレームは最大 " + std::to_string(kMaxFrames) + " 枚です（あと " +
                                 std::to_string(room) + " 枚まで追加できます）。" +
                                 std::to_string(files.size()) + " 枚の画像は追加しませんでした。");
        return batch;
    }
    for (const fs::path& file : files) {
        try {
            std::vector<Frame> frames = LoadFrames(file, room - batch.frames.size(), background);
            for (Frame& frame : frames)
                batch.frames.push_back(std::move(frame));
        } catch (const pack::PackError& error) {
            batch.problems.push_back(error.what());
        }
    }
    return batch;
}

}  // namespace tovalin::studio

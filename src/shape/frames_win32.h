// Building frames from image files: the display picture, the size in twips and the region data.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace tovalin::shape {

enum class FrameLoad { kLoaded, kUndecodable, kTableFull };

// Builds frame gFrameCount from the image file and counts it. A file that cannot be decoded, or
// a frame beyond the tables' 51 entries, is not counted; *error then says why (Japanese).
FrameLoad LoadFrame(const std::wstring& path, std::wstring* error = nullptr);

// The same from the file's bytes already in memory, giving the same frame; path names the
// file in *error.
FrameLoad LoadFrame(std::span<const std::uint8_t> bytes, const std::wstring& path,
                    std::wstring* error = nullptr);

// Redraws the frame pictures and measures the frames again after the display scale changed;
// the region data keeps its layout (windows scale it when they take it).
void RescaleFrames();

// Discards every frame picture; the next frames are numbered from 0 again.
void ClearFrameStore();

// The frames in use, put aside so that a new set that cannot be built does not leave the
// characters without a shape: their pictures, sizes and region data.
struct SavedFrames;
struct SavedFramesDeleter {
    void operator()(SavedFrames* saved) const;
};
using SavedFramesPtr = std::unique_ptr<SavedFrames, SavedFramesDeleter>;

SavedFramesPtr SaveFrameStore();
// Makes the saved frames the ones in use again, in place of whatever was built since.
void RestoreFrameStore(SavedFramesPtr saved);

}  // namespace tovalin::shape

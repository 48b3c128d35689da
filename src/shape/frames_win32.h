// Building frames from image files: the display picture, the size in twips and the region data.
#pragma once

#include <string>

namespace tovalin::shape {

enum class FrameLoad { kLoaded, kUndecodable, kTableFull };

// Builds frame gFrameCount from the image file and counts it. A file that cannot be decoded, or
// a frame beyond the tables' 51 entries, is not counted; *error then says why (Japanese).
FrameLoad LoadFrame(const std::wstring& path, std::wstring* error = nullptr);

// Discards every frame picture; the next frames are numbered from 0 again.
void ClearFrameStore();

}  // namespace tovalin::shape

// The built frames: sizes and region data, numbered from 0. The pictures themselves live in the
// hidden default character window (see view_win32.h).
#pragma once

#include "package/package.h"
#include "shape/region.h"

#include <array>
#include <cstdint>

namespace tovalin::shape {

using package::kMaxFrames;

extern std::int32_t gFrameCount;
extern std::array<RegionRecord, kMaxFrames> gRgnData;
extern std::array<std::int32_t, kMaxFrames> gFrameWidth;   // twips
extern std::array<std::int32_t, kMaxFrames> gFrameHeight;  // twips
// The frame whose region data frame k repeats byte for byte (frame k itself when it does not
// repeat its predecessor's), decided once when the frame is built: a window that shows one
// outline need not be given the same outline again.
extern std::array<std::int32_t, kMaxFrames> gRgnShape;
// Counts the sets of frames built: a shape number names an outline only within one set.
extern std::uint32_t gFrameSet;

}  // namespace tovalin::shape

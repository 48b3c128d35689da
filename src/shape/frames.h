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

}  // namespace tovalin::shape

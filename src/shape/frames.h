// The built frames: sizes and region data, numbered from 0. The pictures themselves live in the
// hidden default character window (see view_win32.h).
#pragma once

#include "shape/region.h"

#include <array>
#include <cstdint>

namespace tovalin::shape {

inline constexpr std::int32_t kMaxFrames = 51;

extern std::int32_t gFrameCount;
extern std::array<RegionRecord, kMaxFrames> gRgnData;
extern std::array<std::int32_t, kMaxFrames> gFrameWidth;   // twips
extern std::array<std::int32_t, kMaxFrames> gFrameHeight;  // twips

}  // namespace tovalin::shape

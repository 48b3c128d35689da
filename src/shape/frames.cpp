#include "shape/frames.h"

namespace tovalin::shape {

std::int32_t gFrameCount = 0;
std::array<RegionRecord, kMaxFrames> gRgnData{};
std::array<std::int32_t, kMaxFrames> gFrameWidth{};
std::array<std::int32_t, kMaxFrames> gFrameHeight{};
std::array<std::int32_t, kMaxFrames> gRgnShape{};
std::uint32_t gFrameSet = 0;

}  // namespace tovalin::shape

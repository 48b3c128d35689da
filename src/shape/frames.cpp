#include "shape/frames.h"

namespace tovalin::shape {

std::int32_t gFrameCount = 0;
std::array<RegionRecord, kMaxFrames> gRgnData{};
std::array<std::int32_t, kMaxFrames> gFrameWidth{};
std::array<std::int32_t, kMaxFrames> gFrameHeight{};

}  // namespace tovalin::shape

// The RGBA picture every authoring step works on: frames read from PNG or GIF files, the
// composited frames of an animation, the sizes of an icon. The type is the platform's, shared
// with the player's GIF decoding; what the packer adds is a refusal the user is shown.
#pragma once

#include <cstdint>

#include "platform/image.h"

namespace tovalin::pack {

using platform::FitsImageLimits;
using platform::IsOpaque;
using platform::kMaxImagePixels;
using platform::kMaxImageSide;
using platform::Rgba;
using platform::RgbaImage;

// A picture of these sides filled with `fill`; throws PackError, naming the sides, when they
// are outside the limits.
RgbaImage MakeRgbaImage(std::int64_t width, std::int64_t height, Rgba fill = {});

}  // namespace tovalin::pack

#include "platform/image.h"

#include "platform/picture_headers.h"

namespace tovalin::platform {

bool FitsImageLimits(std::int64_t width, std::int64_t height) {
    return CheckPictureSides(width, height) == nullptr;
}

}  // namespace tovalin::platform

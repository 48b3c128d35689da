#include "pack/image.h"

#include <string>

#include "pack/file_io.h"

namespace tovalin::pack {

RgbaImage MakeRgbaImage(std::int64_t width, std::int64_t height, Rgba fill) {
    if (!FitsImageLimits(width, height)) {
        throw PackError("画像の大きさ " + std::to_string(width) + "×" + std::to_string(height) +
                        " は扱えません（一辺 1〜" + std::to_string(kMaxImageSide) +
                        " ピクセル、合計 " + std::to_string(kMaxImagePixels) + " ピクセルまで）。");
    }
    RgbaImage image;
    image.width = static_cast<std::int32_t>(width);
    image.height = static_cast<std::int32_t>(height);
    image.pixels.assign(static_cast<std::size_t>(width * height), fill);
    return image;
}

}  // namespace tovalin::pack

// The packer's still-picture decoder away from Windows: there is none. Frames there are GIF
// files, which the portable decoder reads; PNG, BMP and ICO frames need the Windows packer or
// the studio.
#include "pack/picture_file.h"

#include <string>

#include "pack/file_io.h"

namespace tovalin::pack {

struct DecoderSession::Host {};

DecoderSession::DecoderSession() = default;
DecoderSession::~DecoderSession() = default;

bool HostDecodesStillPictures() {
    return false;
}

RgbaImage DecodeDeclaredPicture(std::span<const std::uint8_t>, PictureFormat,
                                const DeclaredPicture&, std::string_view nameUtf8) {
    throw PackError("「" + std::string(nameUtf8) +
                    "」: この tovalin-pack が読めるフレームは GIF 画像だけです（PNG・BMP・ICO "
                    "は Windows 版の tovalin-pack と tovalin-studio で使えます）。");
}

}  // namespace tovalin::pack

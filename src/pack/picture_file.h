// The picture files a character's frames come from: GIF, read by the portable decoder so that
// it gives the same frames everywhere, and PNG, BMP and ICO, decoded by the host system (on
// Windows by WIC; elsewhere they are refused). Failures throw PackError naming the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "pack/character.h"
#include "pack/image.h"
#include "platform/picture_headers.h"

namespace tovalin::pack {

using platform::kMaxPictureFileBytes;
using platform::PictureFormat;
using platform::SniffPictureFormat;

// The sides a PNG or BMP file declares, or for an ICO those of the entry a frame is made from
// (the largest, the deepest among equals) and that entry's index. Read from the headers alone;
// throws PackError, naming the file, when they are broken or outside the image limits, so that
// no decoder allocates for a hostile claim.
struct DeclaredPicture {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint32_t entry = 0;  // an ICO's entry, counted from 0
};
DeclaredPicture CheckDeclaredPicture(std::span<const std::uint8_t> bytes, PictureFormat kind,
                                     std::string_view nameUtf8);

// A PNG, BMP or ICO file decoded to straight (not premultiplied) RGBA, its declared picture
// checked first. A BMP is taken as opaque, as the player takes it. Throws PackError, naming the
// file, when the picture cannot be decoded or the host cannot decode such files at all.
RgbaImage DecodeStillPicture(std::span<const std::uint8_t> bytes, PictureFormat kind,
                             std::string_view nameUtf8);

// The host's part of DecodeStillPicture (picture_file_win32.cpp, picture_file_posix.cpp),
// called with a declaration CheckDeclaredPicture has accepted.
bool HostDecodesStillPictures();
RgbaImage DecodeDeclaredPicture(std::span<const std::uint8_t> bytes, PictureFormat kind,
                                const DeclaredPicture& declared, std::string_view nameUtf8);

// Keeps the host's decoder ready for a run of pictures while it lives (on Windows: the imaging
// component's factories, platform::PictureBatch), so that each picture does not pay for setting
// them up again. Sessions may nest; the outermost one owns the decoder.
class DecoderSession {
  public:
    DecoderSession();
    ~DecoderSession();

  private:
    struct Host;                  // what the host keeps ready; nothing away from Windows
    std::unique_ptr<Host> host_;  // owned alone: a session is neither copied nor moved
};

// A frame file as a frame source: a GIF as its bytes, any other picture decoded. The name the
// source carries is the path as given (UTF-8).
FrameSource ReadFrameFile(const std::filesystem::path& path);

}  // namespace tovalin::pack

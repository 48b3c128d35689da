// Writes an indexed picture as a single-image GIF89a file, the form of a character's frames.
#pragma once

#include <span>

#include "pack/file_io.h"
#include "pack/palette.h"

namespace tovalin::pack {

// Header, a logical screen the size of the picture, the palette as the global colour table
// (padded with black to a power of two, at least 2 entries), a Graphic Control Extension
// naming the transparent index when there is one, the image at (0, 0), its LZW data and the
// trailer. The same picture gives the same bytes. Throws PackError when CheckIndexedImage
// refuses the picture.
Bytes EncodeGif(const IndexedImage& image);

}  // namespace tovalin::pack

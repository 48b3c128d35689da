// ICO files: reading their directory and entries, writing 32-bit entries, and making a
// character's icon from its first frame. Failures throw PackError with a Japanese message.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "pack/file_io.h"
#include "pack/image.h"

namespace tovalin::pack {

// The largest side an icon directory can state (its byte 0 stands for 256).
inline constexpr std::int32_t kMaxIconSide = 256;

// The sizes of a character's icon: the small and large shell icons and the large one at 150 %.
inline constexpr std::array<std::int32_t, 3> kCharacterIconSizes{16, 32, 48};

struct IconEntry {
    // The directory's fields, kept as they are: a resource group copies them.
    std::int32_t width = 0;   // 1 to 256 (the stored 0 read as 256)
    std::int32_t height = 0;  // 1 to 256
    std::uint8_t colourCount = 0;
    std::uint8_t reserved = 0;
    std::uint16_t planes = 0;
    std::uint16_t bitCount = 0;
    Bytes image;  // the entry's bytes: a DIB (BITMAPINFOHEADER onwards) or a PNG file
    friend bool operator==(const IconEntry&, const IconEntry&) = default;
};

// The entries of an ICO file in directory order. Refuses (PackError) a file that is no icon
// file (a cursor file included), has no entry, or an entry outside the file or overlapping the
// directory, or one whose image header is neither a DIB nor a PNG with sides of 1 to 256
// pixels and data that fits the entry.
std::vector<IconEntry> ReadIco(std::span<const std::uint8_t> bytes);

// An ICO file with one 32-bit entry per picture, in the given order: a BITMAPINFOHEADER with
// the height doubled, the BGRA pixels bottom-up, then the 1-bit AND mask (set where the picture
// is transparent) with rows padded to 4 bytes. Pixels with alpha 0 are written as (0, 0, 0, 0),
// so that drawing by the mask alone leaves the screen showing through there. Pictures must have
// sides of 1 to 256 pixels.
Bytes WriteIco(std::span<const RgbaImage> pictures);

// Bits per pixel as the entry's image states them: the DIB header's, 32 for a PNG. For an
// entry from ReadIco, whose image has been checked.
std::uint16_t ImageBitCount(const IconEntry& entry);

// The pixels of a 32-bit DIB entry, as WriteIco writes them; PackError for any other entry.
// Entries with alpha 0 throughout take their transparency from the mask, as the system does.
RgbaImage DecodeIconEntry(const IconEntry& entry);

// The frame fitted into a side x side square: scaled by nearest neighbour (it is pixel art) to
// the largest size that keeps its aspect ratio, centred, with everything outside it and every
// transparent pixel of the frame at alpha 0 and the rest fully opaque.
RgbaImage FitToSquare(const RgbaImage& frame, std::int32_t side);

// The character's icon: its first frame fitted into each of kCharacterIconSizes.
Bytes MakeCharacterIcon(const RgbaImage& firstFrame);

}  // namespace tovalin::pack

// Picture files (GIF, BMP, ICO) decoded to plain pixels (picture.h), the form both the region
// builder and the window background painter work from: GIF files by the portable decoder, BMP
// and ICO files by the Windows Imaging Component.
#pragma once

#include <windows.h>
// ComApartment in handles_win32.h needs the COM declarations that WIN32_LEAN_AND_MEAN leaves out.
#include <objbase.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/handles_win32.h"
#include "platform/picture.h"
#include "platform/picture_headers.h"
#include "platform/picture_wic_win32.h"

namespace tovalin::platform {

// Decodes the first frame of a GIF, BMP or ICO file (for a GIF: composited on its logical
// screen; for an icon: the first image of its directory; a BMP is always opaque). Transparent
// pixels take `background` (0x00RRGGBB) and partially transparent ones are blended over it. The
// declared sizes are checked before anything is decoded (CheckPictureHeaders), so a file
// claiming a huge picture fails at once with little memory spent. Returns nothing, with a short
// English reason in *error, when the file cannot be read or decoded, is empty, is not one of the
// three formats, or has a side over 32,767 pixels or more than 16 Mi pixels.
//
// A GIF needs no COM. The first BMP or ICO a thread decodes loads ole32 and enters a
// single-threaded COM apartment for the imaging component, which the thread then keeps for its
// life: a character's frames are all GIFs, and starting COM costs a start more than the rest of
// it.
std::optional<DecodedPicture> DecodePicture(const std::wstring& path, std::uint32_t background,
                                            std::wstring* error = nullptr);

// The same from the file's bytes already in memory.
std::optional<DecodedPicture> DecodePicture(std::span<const std::uint8_t> bytes,
                                            std::uint32_t background,
                                            std::wstring* error = nullptr);

// A 32-bpp top-down DIB section holding the picture, every pixel a scale × scale block, for
// painting a window's background; empty when the picture holds no pixels, the scale is outside
// 1..kMaxPictureScale or the bitmap cannot be created.
inline constexpr int kMaxPictureScale = 8;
UniqueHbitmap CreatePictureBitmap(const DecodedPicture& picture, int scale = 1);

// The image of an icon file: at size × size pixels, or with size 0 at its own size (with
// systemSize, at the system's icon size). Throws std::runtime_error naming the file (Japanese,
// UTF-8) when it cannot be loaded.
UniqueHicon LoadIconFile(const std::wstring& path, int size, bool systemSize = false);

// Makes the icon a window's big and small icon; the caller keeps it alive while it is shown.
void SetWindowIcons(HWND hwnd, HICON icon);

// The system's button-face colour as 0x00RRGGBB: what transparent picture pixels show.
std::uint32_t ButtonFaceRgb();

}  // namespace tovalin::platform

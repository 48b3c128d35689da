#include "platform/picture_win32.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <span>
#include <stdexcept>
#include <variant>

#include "platform/picture_headers.h"
#include "platform/picture_wic_win32.h"
#include "platform/text_win32.h"

namespace tovalin::platform {
namespace {

const wchar_t* ReadWholeFile(const std::wstring& path, std::vector<std::uint8_t>& bytes) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return L"cannot open the file";
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size))
        return L"cannot read the file size";
    if (size.QuadPart == 0)
        return L"file is empty";
    if (static_cast<std::uint64_t>(size.QuadPart) > kMaxPictureFileBytes)
        return L"file is too large";
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD got = 0;
        const auto want = static_cast<DWORD>(bytes.size() - done);
        if (!::ReadFile(file.get(), bytes.data() + done, want, &got, nullptr) || got == 0)
            return L"cannot read the file";
        done += got;
    }
    return nullptr;
}

std::uint32_t BlendChannel(std::uint32_t colour, std::uint32_t background, std::uint32_t alpha,
                           int shift) {
    const std::uint32_t c = (colour >> shift) & 0xFF;
    const std::uint32_t b = (background >> shift) & 0xFF;
    return ((c * alpha + b * (255 - alpha) + 127) / 255) << shift;
}

std::uint32_t OverBackground(std::uint32_t argb, std::uint32_t background, bool opaque) {
    const std::uint32_t alpha = opaque ? 255 : argb >> 24;
    if (alpha == 255)
        return argb & 0x00FFFFFF;
    if (alpha == 0)
        return background;
    return BlendChannel(argb, background, alpha, 16) | BlendChannel(argb, background, alpha, 8) |
           BlendChannel(argb, background, alpha, 0);
}

DecodedPicture Compose(std::uint32_t width, std::uint32_t height,
                       const std::vector<std::uint32_t>& frame, std::uint32_t background,
                       bool opaque) {
    DecodedPicture picture;
    picture.width = static_cast<std::int32_t>(width);
    picture.height = static_cast<std::int32_t>(height);
    picture.pixels.reserve(frame.size());
    for (const std::uint32_t argb : frame)
        picture.pixels.push_back(OverBackground(argb, background, opaque));
    return picture;
}

std::optional<DecodedPicture> Failed(std::wstring* error, const wchar_t* reason) {
    if (error)
        *error = reason;
    return std::nullopt;
}

// The imaging component's reason for refusing a picture, in the player's words.
const wchar_t* WicRefusal(WicFailure failure) {
    switch (failure) {
        case WicFailure::kNoCom:
            return L"COM is unavailable";
        case WicFailure::kNoFactory:
            return L"imaging component unavailable";
        case WicFailure::kNoStream:
            return L"cannot open the picture data";
        case WicFailure::kNoFrame:
            return L"picture has no frame";
        case WicFailure::kNoConversion:
        case WicFailure::kNoPixels:
            return L"cannot decode the picture's pixels";
        case WicFailure::kUndecodable:
        case WicFailure::kNoSize:
        case WicFailure::kSidesRefused:
            break;
    }
    return L"cannot decode the picture";
}

std::optional<DecodedPicture> DecodeBmpOrIco(PictureFormat format,
                                             std::span<const std::uint8_t> bytes,
                                             std::uint32_t background, std::wstring* error) {
    const wchar_t* sidesRefusal = nullptr;
    const auto decoded =
        DecodeWithWic(bytes, format, 0, [&](std::uint32_t width, std::uint32_t height) {
            sidesRefusal = CheckPictureSides(width, height);
            return sidesRefusal == nullptr;
        });
    if (const auto* failure = std::get_if<WicFailure>(&decoded))
        return Failed(error, sidesRefusal ? sidesRefusal : WicRefusal(*failure));
    const WicPixels& pixels = std::get<WicPixels>(decoded);
    return Compose(pixels.width, pixels.height, pixels.argb, background,
                   format == PictureFormat::kBmp);
}

}  // namespace

std::optional<DecodedPicture> DecodePicture(std::span<const std::uint8_t> bytes,
                                            std::uint32_t background, std::wstring* error) {
    try {
        if (!CheckPictureHeaders(bytes, error))
            return std::nullopt;
        const PictureFormat format = *SniffPictureFormat(bytes);
        if (format == PictureFormat::kGif)
            return DecodeGifPicture(bytes, background & 0x00FFFFFF, error);
        return DecodeBmpOrIco(format, bytes, background & 0x00FFFFFF, error);
    } catch (const std::bad_alloc&) {
        return Failed(error, L"out of memory");
    }
}

std::optional<DecodedPicture> DecodePicture(const std::wstring& path, std::uint32_t background,
                                            std::wstring* error) {
    try {
        std::vector<std::uint8_t> bytes;
        if (const wchar_t* reason = ReadWholeFile(path, bytes))
            return Failed(error, reason);
        return DecodePicture(bytes, background, error);
    } catch (const std::bad_alloc&) {
        return Failed(error, L"out of memory");
    }
}

UniqueHbitmap CreatePictureBitmap(const DecodedPicture& picture, int scale) {
    if (picture.width <= 0 || picture.height <= 0 || scale < 1 || scale > kMaxPictureScale)
        return {};
    const auto width = static_cast<std::size_t>(picture.width);
    const auto height = static_cast<std::size_t>(picture.height);
    if (picture.pixels.size() < width * height)
        return {};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = picture.width * scale;
    info.bmiHeader.biHeight = -picture.height * scale;  // top-down, like the pixel rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueHbitmap bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits)
        return {};
    // Nearest neighbour by hand: every picture pixel becomes a scale × scale block, exactly.
    auto* out = static_cast<std::uint32_t*>(bits);
    const auto s = static_cast<std::size_t>(scale);
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint32_t* row = picture.pixels.data() + y * width;
        std::uint32_t* line = out + y * s * width * s;
        for (std::size_t x = 0; x < width; ++x)
            std::fill_n(line + x * s, s, row[x]);
        for (std::size_t copy = 1; copy < s; ++copy)
            std::copy_n(line, width * s, line + copy * width * s);
    }
    return bitmap;
}

std::uint32_t ButtonFaceRgb() {
    const COLORREF colour = ::GetSysColor(COLOR_BTNFACE);
    return std::uint32_t{GetRValue(colour)} << 16 | std::uint32_t{GetGValue(colour)} << 8 |
           std::uint32_t{GetBValue(colour)};
}

UniqueHicon LoadIconFile(const std::wstring& path, int size, bool systemSize) {
    const UINT flags = LR_LOADFROMFILE | (systemSize ? LR_DEFAULTSIZE : 0);
    UniqueHicon icon(
        static_cast<HICON>(::LoadImageW(nullptr, path.c_str(), IMAGE_ICON, size, size, flags)));
    if (!icon) {
        throw std::runtime_error("アイコンファイル「" + ToUtf8(path) +
                                 "」を読み込めませんでした。");
    }
    return icon;
}

void SetWindowIcons(HWND hwnd, HICON icon) {
    if (!hwnd)
        return;
    ::SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    ::SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
}

}  // namespace tovalin::platform

#include "platform/picture_win32.h"

#include <wincodec.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <span>

namespace tovalin::platform {
namespace {

enum class Format { Gif, Bmp, Ico };

// A 32-bpp BMP of the largest accepted picture, plus room for its headers.
constexpr std::uint64_t kMaxFileBytes = 4 * kMaxPicturePixels + (1u << 20);
// Some GIF decoders expand every frame of a file as soon as it is opened, one byte per pixel, so
// all frames together are held to a budget, not only the first.
constexpr std::uint64_t kMaxGifPixelsAllFrames = 4 * kMaxPicturePixels;

constexpr const wchar_t* kTooLarge = L"picture is larger than 32767 pixels on a side";
constexpr const wchar_t* kTooManyPixels = L"picture has more than 16 Mi pixels";
constexpr const wchar_t* kNoPixels = L"picture has no pixels";
constexpr const wchar_t* kBrokenBmp = L"broken BMP header";
constexpr const wchar_t* kBrokenIco = L"broken icon directory";

// Bounds-checked little- and big-endian reads from the file's bytes.
class Bytes {
  public:
    explicit Bytes(std::span<const std::uint8_t> bytes) noexcept : b_(bytes) {}
    bool Has(std::uint64_t pos, std::uint64_t n) const noexcept {
        return pos <= b_.size() && n <= b_.size() - pos;
    }
    std::uint8_t U8(std::size_t pos) const noexcept { return b_[pos]; }
    std::uint16_t U16(std::size_t pos) const noexcept {
        return static_cast<std::uint16_t>(b_[pos] | b_[pos + 1] << 8);
    }
    std::uint32_t U32(std::size_t pos) const noexcept {
        return std::uint32_t{b_[pos]} | std::uint32_t{b_[pos + 1]} << 8 |
               std::uint32_t{b_[pos + 2]} << 16 | std::uint32_t{b_[pos + 3]} << 24;
    }
    std::uint32_t U32Be(std::size_t pos) const noexcept {
        return std::uint32_t{b_[pos]} << 24 | std::uint32_t{b_[pos + 1]} << 16 |
               std::uint32_t{b_[pos + 2]} << 8 | std::uint32_t{b_[pos + 3]};
    }
    bool StartsWith(std::size_t pos, std::span<const std::uint8_t> prefix) const noexcept {
        return Has(pos, prefix.size()) &&
               std::equal(prefix.begin(), prefix.end(), b_.begin() + static_cast<long>(pos));
    }

  private:
    std::span<const std::uint8_t> b_;
};

constexpr std::uint8_t kGifSignature[] = {'G', 'I', 'F', '8'};
constexpr std::uint8_t kBmpSignature[] = {'B', 'M'};
constexpr std::uint8_t kIcoSignature[] = {0, 0, 1, 0};
constexpr std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

std::optional<Format> SniffFormat(const Bytes& b) {
    if (b.StartsWith(0, kGifSignature))
        return Format::Gif;
    if (b.StartsWith(0, kBmpSignature))
        return Format::Bmp;
    if (b.StartsWith(0, kIcoSignature))
        return Format::Ico;
    return std::nullopt;
}

const wchar_t* CheckLimits(std::int64_t width, std::int64_t height) {
    if (width > kMaxPictureSide || height > kMaxPictureSide)
        return kTooLarge;
    if (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kMaxPicturePixels)
        return kTooManyPixels;
    return nullptr;
}

const wchar_t* CheckSides(std::int64_t width, std::int64_t height) {
    if (width <= 0 || height <= 0)
        return kNoPixels;
    return CheckLimits(width, height);
}

std::size_t GifColourTableBytes(std::uint8_t packed) {
    return (packed & 0x80) ? std::size_t{3} << ((packed & 7) + 1) : 0;
}

std::size_t SkipGifSubBlocks(const Bytes& b, std::size_t pos) {
    while (b.Has(pos, 1)) {
        const std::uint8_t length = b.U8(pos++);
        if (length == 0)
            break;
        pos += length;
    }
    return pos;
}

// Walks the blocks without decoding, so that every image descriptor's claim is checked. A file
// that ends early or holds garbage is left for the decoder to reject.
const wchar_t* CheckGif(const Bytes& b) {
    if (!b.Has(0, 13))
        return L"truncated GIF header";
    if (const wchar_t* reason = CheckLimits(b.U16(6), b.U16(8)))
        return reason;
    std::size_t pos = 13 + GifColourTableBytes(b.U8(10));
    std::uint64_t allFrames = 0;
    while (b.Has(pos, 1)) {
        const std::uint8_t block = b.U8(pos++);
        if (block == 0x21) {
            pos = SkipGifSubBlocks(b, pos + 1);
        } else if (block == 0x2C && b.Has(pos, 9)) {
            const std::uint16_t width = b.U16(pos + 4);
            const std::uint16_t height = b.U16(pos + 6);
            if (const wchar_t* reason = CheckLimits(width, height))
                return reason;
            allFrames += std::uint64_t{width} * height;
            if (allFrames > kMaxGifPixelsAllFrames)
                return L"GIF frames hold too many pixels";
            pos += 9 + GifColourTableBytes(b.U8(pos + 8));
            pos = SkipGifSubBlocks(b, pos + 1);
        } else {
            break;
        }
    }
    return nullptr;
}

// A BITMAPCOREHEADER (12 bytes) holds 16-bit sides, every later header 32-bit ones; a negative
// height marks a top-down picture.
const wchar_t* CheckDibHeader(const Bytes& b, std::size_t pos, bool iconHalfHeight) {
    if (!b.Has(pos, 4))
        return kBrokenBmp;
    const std::uint32_t headerSize = b.U32(pos);
    if (headerSize == 12 && b.Has(pos, 12))
        return CheckSides(b.U16(pos + 4), b.U16(pos + 6) / (iconHalfHeight ? 2 : 1));
    if (headerSize < 16 || !b.Has(pos, 12))
        return kBrokenBmp;
    const std::int64_t width = static_cast<std::int32_t>(b.U32(pos + 4));
    std::int64_t height = static_cast<std::int32_t>(b.U32(pos + 8));
    if (height < 0)
        height = -height;
    return CheckSides(width, iconHalfHeight ? height / 2 : height);
}

// Only the first image of the directory is decoded; it is a DIB (colour and mask stacked, hence
// the doubled height) or a PNG.
const wchar_t* CheckIco(const Bytes& b) {
    constexpr std::size_t kFirstEntry = 6;
    if (!b.Has(0, kFirstEntry + 16))
        return kBrokenIco;
    if (b.U16(4) == 0)
        return L"icon holds no image";
    const std::uint32_t offset = b.U32(kFirstEntry + 12);
    if (b.StartsWith(offset, kPngSignature)) {
        if (!b.Has(offset, 24))
            return kBrokenIco;
        return CheckSides(b.U32Be(offset + 16), b.U32Be(offset + 20));
    }
    if (!b.Has(offset, 12))
        return kBrokenIco;
    return CheckDibHeader(b, offset, true);
}

const wchar_t* CheckDeclaredSize(Format format, const Bytes& b) {
    switch (format) {
        case Format::Gif:
            return CheckGif(b);
        case Format::Bmp:
            return CheckDibHeader(b, 14, false);
        case Format::Ico:
            return CheckIco(b);
    }
    return nullptr;
}

const GUID& ContainerOf(Format format) {
    switch (format) {
        case Format::Gif:
            return GUID_ContainerFormatGif;
        case Format::Bmp:
            return GUID_ContainerFormatBmp;
        case Format::Ico:
            break;
    }
    return GUID_ContainerFormatIco;
}

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
    if (static_cast<std::uint64_t>(size.QuadPart) > kMaxFileBytes)
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

std::uint16_t ReadMetadataU16(IWICMetadataQueryReader* reader, const wchar_t* name,
                              std::uint16_t fallback) {
    PROPVARIANT value;
    PropVariantInit(&value);
    std::uint16_t result = fallback;
    if (SUCCEEDED(reader->GetMetadataByName(name, &value)) && value.vt == VT_UI2)
        result = value.uiVal;
    ::PropVariantClear(&value);
    return result;
}

// Where the first frame lies on the picture. A GIF frame may cover only part of its logical
// screen; the rest of the screen shows the background, as a transparent pixel would.
struct Placement {
    std::uint32_t canvasWidth, canvasHeight, left, top;
};

Placement PlaceFrame(Format format, IWICBitmapDecoder* decoder, IWICBitmapFrameDecode* frame,
                     std::uint32_t width, std::uint32_t height) {
    Placement place{width, height, 0, 0};
    if (format != Format::Gif)
        return place;
    std::uint32_t screenWidth = 0, screenHeight = 0;
    ComPtr<IWICMetadataQueryReader> screen;
    if (SUCCEEDED(decoder->GetMetadataQueryReader(screen.put()))) {
        screenWidth = ReadMetadataU16(screen.get(), L"/logscrdesc/Width", 0);
        screenHeight = ReadMetadataU16(screen.get(), L"/logscrdesc/Height", 0);
    }
    ComPtr<IWICMetadataQueryReader> image;
    if (SUCCEEDED(frame->GetMetadataQueryReader(image.put()))) {
        place.left = ReadMetadataU16(image.get(), L"/imgdesc/Left", 0);
        place.top = ReadMetadataU16(image.get(), L"/imgdesc/Top", 0);
    }
    place.canvasWidth = std::max(screenWidth, place.left + width);
    place.canvasHeight = std::max(screenHeight, place.top + height);
    return place;
}

// The frame's pixels as straight-alpha 0xAARRGGBB.
bool ReadBgra(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame, std::uint32_t width,
              std::uint32_t height, std::vector<std::uint32_t>& pixels) {
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.put())))
        return false;
    if (FAILED(converter->Initialize(frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                     nullptr, 0.0, WICBitmapPaletteTypeCustom)))
        return false;
    pixels.resize(std::size_t{width} * height);
    const UINT stride = width * 4;
    return SUCCEEDED(converter->CopyPixels(nullptr, stride, stride * height,
                                           reinterpret_cast<BYTE*>(pixels.data())));
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

DecodedPicture Compose(const Placement& place, std::uint32_t width, std::uint32_t height,
                       const std::vector<std::uint32_t>& frame, std::uint32_t background,
                       bool opaque) {
    DecodedPicture picture;
    picture.width = static_cast<std::int32_t>(place.canvasWidth);
    picture.height = static_cast<std::int32_t>(place.canvasHeight);
    picture.pixels.assign(std::size_t{place.canvasWidth} * place.canvasHeight, background);
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint32_t* from = frame.data() + std::size_t{y} * width;
        std::uint32_t* to =
            picture.pixels.data() + std::size_t{place.top + y} * place.canvasWidth + place.left;
        for (std::uint32_t x = 0; x < width; ++x)
            to[x] = OverBackground(from[x], background, opaque);
    }
    return picture;
}

std::optional<DecodedPicture> Failed(std::wstring* error, const wchar_t* reason) {
    if (error)
        *error = reason;
    return std::nullopt;
}

std::optional<DecodedPicture> DecodeWithWic(Format format, std::vector<std::uint8_t>& bytes,
                                            std::uint32_t background, std::wstring* error) {
    ComPtr<IWICImagingFactory> factory;
    const HRESULT created =
        ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                           IID_IWICImagingFactory, factory.put_void());
    if (created == CO_E_NOTINITIALIZED)
        return Failed(error, L"COM is not initialised");
    if (FAILED(created))
        return Failed(error, L"imaging component unavailable");
    ComPtr<IWICStream> stream;
    if (FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromMemory(bytes.data(), static_cast<DWORD>(bytes.size()))))
        return Failed(error, L"cannot open the picture data");
    ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoder(ContainerOf(format), nullptr, decoder.put())) ||
        FAILED(decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand)))
        return Failed(error, L"cannot decode the picture");
    ComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(0, frame.put())))
        return Failed(error, L"picture has no frame");
    UINT width = 0, height = 0;
    if (FAILED(frame->GetSize(&width, &height)))
        return Failed(error, L"cannot decode the picture");
    if (const wchar_t* reason = CheckSides(width, height))
        return Failed(error, reason);
    const Placement place = PlaceFrame(format, decoder.get(), frame.get(), width, height);
    if (const wchar_t* reason = CheckSides(place.canvasWidth, place.canvasHeight))
        return Failed(error, reason);
    std::vector<std::uint32_t> pixels;
    if (!ReadBgra(factory.get(), frame.get(), width, height, pixels))
        return Failed(error, L"cannot decode the picture's pixels");
    return Compose(place, width, height, pixels, background, format == Format::Bmp);
}

}  // namespace

bool CheckPictureHeaders(std::span<const std::uint8_t> bytes, std::wstring* error) {
    const Bytes view(bytes);
    const std::optional<Format> format = SniffFormat(view);
    const wchar_t* reason =
        format ? CheckDeclaredSize(*format, view) : L"not a GIF, BMP or ICO file";
    if (reason && error)
        *error = reason;
    return reason == nullptr;
}

std::optional<DecodedPicture> DecodePicture(const std::wstring& path, std::uint32_t background,
                                            std::wstring* error) {
    try {
        std::vector<std::uint8_t> bytes;
        if (const wchar_t* reason = ReadWholeFile(path, bytes))
            return Failed(error, reason);
        if (!CheckPictureHeaders(bytes, error))
            return std::nullopt;
        const Format format = *SniffFormat(Bytes(bytes));
        return DecodeWithWic(format, bytes, background & 0x00FFFFFF, error);
    } catch (const std::bad_alloc&) {
        return Failed(error, L"out of memory");
    }
}

UniqueHbitmap CreatePictureBitmap(const DecodedPicture& picture) {
    if (picture.width <= 0 || picture.height <= 0)
        return {};
    const std::size_t count = std::size_t{static_cast<std::uint32_t>(picture.width)} *
                              static_cast<std::uint32_t>(picture.height);
    if (picture.pixels.size() < count)
        return {};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;  // top-down, like the pixel rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueHbitmap bitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits)
        return {};
    std::memcpy(bits, picture.pixels.data(), count * sizeof(std::uint32_t));
    return bitmap;
}

std::uint32_t ButtonFaceRgb() {
    const COLORREF colour = ::GetSysColor(COLOR_BTNFACE);
    return std::uint32_t{GetRValue(colour)} << 16 | std::uint32_t{GetGValue(colour)} << 8 |
           std::uint32_t{GetBValue(colour)};
}

}  // namespace tovalin::platform

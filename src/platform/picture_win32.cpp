#include "platform/picture_win32.h"

#include <wincodec.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <span>
#include <stdexcept>

#include "platform/picture_headers.h"
#include "platform/system_function_win32.h"
#include "platform/text_win32.h"

namespace tovalin::platform {
namespace {

// A 32-bpp BMP of the largest accepted picture, plus room for its headers.
constexpr std::uint64_t kMaxFileBytes = 4 * kMaxPicturePixels + (1u << 20);

// The imaging component's decoder of the formats it reads for the player.
const CLSID& DecoderOf(PictureFormat format) {
    return format == PictureFormat::kBmp ? CLSID_WICBmpDecoder : CLSID_WICIcoDecoder;
}

constexpr std::size_t kFormats = 3;

// The COM functions the imaging component needs, looked up when the first BMP or ICO is decoded
// instead of imported: importing ole32 would load it, and everything it brings, into every
// start, where a character's frames are all GIFs.
struct ComFunctions {
    decltype(&::CoInitializeEx) initialize = nullptr;
    decltype(&::CoCreateInstance) createInstance = nullptr;
    decltype(&::CoGetClassObject) getClassObject = nullptr;
};

const ComFunctions* LoadComFunctions() {
    static const ComFunctions functions{
        SystemFunction<decltype(&::CoInitializeEx)>(L"ole32.dll", "CoInitializeEx"),
        SystemFunction<decltype(&::CoCreateInstance)>(L"ole32.dll", "CoCreateInstance"),
        SystemFunction<decltype(&::CoGetClassObject)>(L"ole32.dll", "CoGetClassObject"),
    };
    const bool complete =
        functions.initialize && functions.createInstance && functions.getClassObject;
    return complete ? &functions : nullptr;
}

// Enters a single-threaded apartment for the calling thread the first time it is asked and
// stays in it for the thread's life: leaving would release what the thread's later pictures
// reuse, and entering again costs as much as the first time.
HRESULT EnterComApartment(const ComFunctions& com) {
    thread_local bool entered = false;
    if (entered)
        return S_OK;
    const HRESULT got = com.initialize(nullptr, COINIT_APARTMENTTHREADED);
    // A thread already in the multithreaded apartment has COM as well; the codecs work there.
    if (FAILED(got) && got != RPC_E_CHANGED_MODE)
        return got;
    entered = true;
    return S_OK;
}

// The factories one decoding needs. Asking the imaging factory for a decoder by container
// format makes it look through every registered codec, so each format's decoder class is asked
// for directly and its class factory kept.
struct Codecs {
    ComPtr<IWICImagingFactory> imaging;
    ComPtr<IClassFactory> decoders[kFormats];
};

thread_local Codecs* tBatch = nullptr;

HRESULT CreateImagingFactory(const ComFunctions& com, Codecs& codecs) {
    if (codecs.imaging)
        return S_OK;
    return com.createInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, codecs.imaging.put_void());
}

HRESULT CreateDecoder(const ComFunctions& com, Codecs& codecs, PictureFormat format,
                      ComPtr<IWICBitmapDecoder>& decoder) {
    ComPtr<IClassFactory>& classFactory = codecs.decoders[static_cast<std::size_t>(format)];
    if (!classFactory) {
        const HRESULT got = com.getClassObject(DecoderOf(format), CLSCTX_INPROC_SERVER, nullptr,
                                               IID_IClassFactory, classFactory.put_void());
        if (FAILED(got))
            return got;
    }
    return classFactory->CreateInstance(nullptr, IID_IWICBitmapDecoder, decoder.put_void());
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

std::optional<DecodedPicture> DecodeWithWic(PictureFormat format, std::vector<std::uint8_t>& bytes,
                                            std::uint32_t background, std::wstring* error) {
    const ComFunctions* com = LoadComFunctions();
    if (!com || FAILED(EnterComApartment(*com)))
        return Failed(error, L"COM is unavailable");
    Codecs single;
    Codecs& codecs = tBatch ? *tBatch : single;
    if (FAILED(CreateImagingFactory(*com, codecs)))
        return Failed(error, L"imaging component unavailable");
    IWICImagingFactory* factory = codecs.imaging.get();
    ComPtr<IWICStream> stream;
    if (FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromMemory(bytes.data(), static_cast<DWORD>(bytes.size()))))
        return Failed(error, L"cannot open the picture data");
    ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(CreateDecoder(*com, codecs, format, decoder)) ||
        FAILED(decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand)))
        return Failed(error, L"cannot decode the picture");
    ComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(0, frame.put())))
        return Failed(error, L"picture has no frame");
    UINT width = 0, height = 0;
    if (FAILED(frame->GetSize(&width, &height)))
        return Failed(error, L"cannot decode the picture");
    if (const wchar_t* reason = CheckPictureSides(width, height))
        return Failed(error, reason);
    std::vector<std::uint32_t> pixels;
    if (!ReadBgra(factory, frame.get(), width, height, pixels))
        return Failed(error, L"cannot decode the picture's pixels");
    return Compose(width, height, pixels, background, format == PictureFormat::kBmp);
}

}  // namespace

std::optional<DecodedPicture> DecodePicture(const std::wstring& path, std::uint32_t background,
                                            std::wstring* error) {
    try {
        std::vector<std::uint8_t> bytes;
        if (const wchar_t* reason = ReadWholeFile(path, bytes))
            return Failed(error, reason);
        if (!CheckPictureHeaders(bytes, error))
            return std::nullopt;
        const PictureFormat format = *SniffPictureFormat(bytes);
        if (format == PictureFormat::kGif)
            return DecodeGifPicture(bytes, background & 0x00FFFFFF, error);
        return DecodeWithWic(format, bytes, background & 0x00FFFFFF, error);
    } catch (const std::bad_alloc&) {
        return Failed(error, L"out of memory");
    }
}

PictureBatch::PictureBatch() : outermost_(tBatch == nullptr) {
    if (outermost_)
        tBatch = new (std::nothrow) Codecs;
}

PictureBatch::~PictureBatch() {
    if (outermost_) {
        delete tBatch;
        tBatch = nullptr;
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

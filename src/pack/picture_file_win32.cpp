// PNG, BMP and ICO frames decoded by the Windows Imaging Component, after their headers have
// been checked (picture_file.cpp), so that WIC never allocates for a hostile claim.
#include "pack/picture_file.h"

#include <windows.h>
#include <objbase.h>
#include <wincodec.h>

#include <string>
#include <vector>

#include "pack/file_io.h"
#include "platform/handles_win32.h"

namespace tovalin::pack {

namespace {

using platform::ComApartment;
using platform::ComPtr;

constexpr std::int32_t kMaxIconEntrySide = 256;

// The format's own decoder is asked for directly: the file's signature has named it already,
// and asking the factory to find one makes it try every registered codec.
const CLSID& DecoderOf(PictureKind kind) {
    switch (kind) {
        case PictureKind::kPng:
            return CLSID_WICPngDecoder;
        case PictureKind::kBmp:
            return CLSID_WICBmpDecoder;
        case PictureKind::kIco:
        case PictureKind::kGif:
            break;
    }
    return CLSID_WICIcoDecoder;
}

[[noreturn]] void Undecodable(std::string_view name, std::string_view why) {
    throw PackError("「" + std::string(name) + "」を読み込めません（" + std::string(why) + "）。");
}

ComPtr<IWICBitmapFrameDecode> OpenFrame(IWICImagingFactory* factory,
                                        std::span<const std::uint8_t> bytes, PictureKind kind,
                                        std::uint32_t index, std::string_view name,
                                        ComPtr<IWICStream>& stream) {
    // The stream reads the caller's bytes in place; they outlive it.
    auto* data = const_cast<BYTE*>(bytes.data());
    if (FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromMemory(data, static_cast<DWORD>(bytes.size()))))
        Undecodable(name, "データを開けません");
    ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(::CoCreateInstance(DecoderOf(kind), nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWICBitmapDecoder, decoder.put_void())) ||
        FAILED(decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand)))
        Undecodable(name, "画像が壊れているか、対応していない形式です");
    ComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(index, frame.put())))
        Undecodable(name, "画像が壊れています");
    return frame;
}

// The decoder must report the picture the checked header declared: anything larger would have
// escaped the check.
void RequireDeclaredSides(UINT width, UINT height, PictureKind kind,
                          const DeclaredPicture& declared, std::string_view name) {
    const bool same =
        width == static_cast<UINT>(declared.width) && height == static_cast<UINT>(declared.height);
    const bool iconSized = kind == PictureKind::kIco && width >= 1 && height >= 1 &&
                           width <= kMaxIconEntrySide && height <= kMaxIconEntrySide;
    if (!same && !iconSized)
        Undecodable(name, "ヘッダーと画素の大きさが合いません");
}

std::vector<BYTE> CopyBgra(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame, UINT width,
                           UINT height, std::string_view name) {
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                     nullptr, 0.0, WICBitmapPaletteTypeCustom)))
        Undecodable(name, "画素の形式を変換できません");
    std::vector<BYTE> bgra(std::size_t{4} * width * height);
    const UINT stride = 4 * width;
    if (FAILED(converter->CopyPixels(nullptr, stride, static_cast<UINT>(bgra.size()), bgra.data())))
        Undecodable(name, "画像のデータが壊れています");
    return bgra;
}

}  // namespace

DecoderSession::DecoderSession()
    : started_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}

DecoderSession::~DecoderSession() {
    if (started_)
        ::CoUninitialize();
}

bool HostDecodesStillPictures() {
    return true;
}

RgbaImage DecodeDeclaredPicture(std::span<const std::uint8_t> bytes, PictureKind kind,
                                const DeclaredPicture& declared, std::string_view nameUtf8) {
    const ComApartment apartment;
    ComPtr<IWICImagingFactory> factory;
    if (FAILED(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWICImagingFactory, factory.put_void())))
        Undecodable(nameUtf8, "Windows の画像コンポーネントを使えません");
    ComPtr<IWICStream> stream;
    const ComPtr<IWICBitmapFrameDecode> frame =
        OpenFrame(factory.get(), bytes, kind, declared.entry, nameUtf8, stream);
    UINT width = 0, height = 0;
    if (FAILED(frame->GetSize(&width, &height)))
        Undecodable(nameUtf8, "画像が壊れています");
    RequireDeclaredSides(width, height, kind, declared, nameUtf8);
    const std::vector<BYTE> bgra = CopyBgra(factory.get(), frame.get(), width, height, nameUtf8);
    RgbaImage image = MakeRgbaImage(width, height);
    // A BMP has no transparency the player honours: its top-left colour is cut away instead.
    const bool opaque = kind == PictureKind::kBmp;
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        const BYTE* p = &bgra[4 * i];
        image.pixels[i] = Rgba{p[2], p[1], p[0], opaque ? std::uint8_t{255} : p[3]};
    }
    return image;
}

}  // namespace tovalin::pack

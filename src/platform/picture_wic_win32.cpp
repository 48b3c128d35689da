#include "platform/picture_wic_win32.h"

#include <windows.h>
// ComPtr in handles_win32.h needs the COM declarations that WIN32_LEAN_AND_MEAN leaves out.
#include <objbase.h>
#include <wincodec.h>

#include <new>

#include "platform/handles_win32.h"
#include "platform/system_function_win32.h"

namespace tovalin::platform {
namespace {

constexpr std::size_t kFormats = 4;

const CLSID& DecoderOf(PictureFormat format) {
    switch (format) {
        case PictureFormat::kPng:
            return CLSID_WICPngDecoder;
        case PictureFormat::kBmp:
            return CLSID_WICBmpDecoder;
        case PictureFormat::kGif:
            return CLSID_WICGifDecoder;
        case PictureFormat::kIco:
            break;
    }
    return CLSID_WICIcoDecoder;
}

// The COM functions the imaging component needs, looked up when the first picture is decoded
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

// The factories one decoding needs: the imaging factory and each format's decoder class
// factory.
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

// The frame's pixels as straight-alpha 0xAARRGGBB.
std::variant<WicPixels, WicFailure> CopyArgb(IWICImagingFactory* factory,
                                             IWICBitmapFrameDecode* frame, UINT width,
                                             UINT height) {
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(frame, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                     nullptr, 0.0, WICBitmapPaletteTypeCustom)))
        return WicFailure::kNoConversion;
    WicPixels pixels{width, height, std::vector<std::uint32_t>(std::size_t{width} * height)};
    const UINT stride = width * 4;
    if (FAILED(converter->CopyPixels(nullptr, stride, stride * height,
                                     reinterpret_cast<BYTE*>(pixels.argb.data()))))
        return WicFailure::kNoPixels;
    return pixels;
}

}  // namespace

std::variant<WicPixels, WicFailure> DecodeWithWic(
    std::span<const std::uint8_t> bytes, PictureFormat format, std::uint32_t frameIndex,
    const std::function<bool(std::uint32_t, std::uint32_t)>& acceptSides) {
    const ComFunctions* com = LoadComFunctions();
    if (!com || FAILED(EnterComApartment(*com)))
        return WicFailure::kNoCom;
    Codecs single;
    Codecs& codecs = tBatch ? *tBatch : single;
    if (FAILED(CreateImagingFactory(*com, codecs)))
        return WicFailure::kNoFactory;
    IWICImagingFactory* factory = codecs.imaging.get();
    // The stream reads the caller's bytes in place; they outlive it.
    ComPtr<IWICStream> stream;
    if (FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(bytes.data()),
                                            static_cast<DWORD>(bytes.size()))))
        return WicFailure::kNoStream;
    ComPtr<IWICBitmapDecoder> decoder;
    if (FAILED(CreateDecoder(*com, codecs, format, decoder)) ||
        FAILED(decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand)))
        return WicFailure::kUndecodable;
    ComPtr<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(frameIndex, frame.put())))
        return WicFailure::kNoFrame;
    UINT width = 0, height = 0;
    if (FAILED(frame->GetSize(&width, &height)))
        return WicFailure::kNoSize;
    if (!acceptSides(width, height))
        return WicFailure::kSidesRefused;
    return CopyArgb(factory, frame.get(), width, height);
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

}  // namespace tovalin::platform

// What the system makes of the files the authoring core writes: the character's icon loaded
// from its ICO file and from a rewritten player's resources, and the GIF frames decoded by WIC,
// the decoder the player shows them with.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "platform/module_path.h"
#include "pack/gif_decoder.h"
#include "pack/gif_encoder.h"
#include "pack/icon.h"
#include "pack/palette.h"
#include "pack/pe_resources.h"
#include "platform/handles_win32.h"

namespace tovalin::pack {
namespace {

namespace fs = std::filesystem;
using platform::ComApartment;
using platform::ComPtr;

fs::path ModuleFolder() {
    return fs::path(platform::ModulePath()).parent_path();
}

void WriteAll(const fs::path& path, const Bytes& bytes) {
    std::ofstream stream(path, std::ios::binary);
    stream.write(reinterpret_cast<const char*>(bytes.data()),
                 static_cast<std::streamsize>(bytes.size()));
}

// A character of three colours on a transparent ground, taller than wide, so that the icon has
// transparent columns at both sides as well as the ground.
RgbaImage Character() {
    RgbaImage frame = MakeRgbaImage(30, 40);
    for (std::int32_t y = 4; y < 38; ++y) {
        for (std::int32_t x = 6; x < 26; ++x) {
            frame.At(x, y) = y < 14   ? Rgba{250, 200, 40, 255}
                             : x < 16 ? Rgba{30, 120, 220, 255}
                                      : Rgba{200, 40, 60, 255};
        }
    }
    return frame;
}

// The icon's pixels as 32-bit top-down RGBA.
RgbaImage IconPixels(HICON icon) {
    ICONINFO info{};
    if (!GetIconInfo(icon, &info))
        return {};
    BITMAP bitmap{};
    GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
    RgbaImage pixels = MakeRgbaImage(bitmap.bmWidth, bitmap.bmHeight);
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = bitmap.bmWidth;
    format.bmiHeader.biHeight = -bitmap.bmHeight;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    std::vector<std::uint8_t> bgra(4 * pixels.pixels.size());
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, info.hbmColor, 0, static_cast<UINT>(bitmap.bmHeight), bgra.data(), &format,
              DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    for (std::size_t i = 0; i < pixels.pixels.size(); ++i)
        pixels.pixels[i] = Rgba{bgra[4 * i + 2], bgra[4 * i + 1], bgra[4 * i], bgra[4 * i + 3]};
    return pixels;
}

// Same sides, same alpha everywhere, same colour wherever something shows.
void ExpectShows(const RgbaImage& actual, const RgbaImage& expected) {
    ASSERT_EQ(actual.width, expected.width);
    ASSERT_EQ(actual.height, expected.height);
    int wrong = 0;
    for (std::size_t i = 0; i < expected.pixels.size() && wrong < 5; ++i) {
        const Rgba a = actual.pixels[i], e = expected.pixels[i];
        if (a.a != e.a || (e.a != 0 && a != e)) {
            ++wrong;
            ADD_FAILURE() << "pixel " << i % expected.width << "," << i / expected.width << ": "
                          << int{a.r} << " " << int{a.g} << " " << int{a.b} << " " << int{a.a}
                          << " instead of " << int{e.r} << " " << int{e.g} << " " << int{e.b} << " "
                          << int{e.a};
        }
    }
}

class Authoring : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1];
        GetTempPathW(MAX_PATH + 1, temp);
        dir_ = fs::path(temp) / (L"tovalin-authoring-" + std::to_wstring(GetCurrentProcessId()));
        fs::create_directories(dir_);
        icon_ = MakeCharacterIcon(Character());
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    fs::path dir_;
    Bytes icon_;
};

TEST_F(Authoring, IcoFileLoadsAtEachSizeWithItsAlpha) {
    const fs::path path = dir_ / L"キャラ.ico";
    WriteAll(path, icon_);
    for (std::int32_t side : kCharacterIconSizes) {
        SCOPED_TRACE(side);
        auto icon = static_cast<HICON>(
            LoadImageW(nullptr, path.c_str(), IMAGE_ICON, side, side, LR_LOADFROMFILE));
        ASSERT_NE(icon, nullptr);
        ExpectShows(IconPixels(icon), FitToSquare(Character(), side));
        DestroyIcon(icon);
    }
}

TEST_F(Authoring, EveryEntryMakesAnIconOfItsOwn) {
    for (const IconEntry& entry : ReadIco(icon_)) {
        SCOPED_TRACE(entry.width);
        HICON icon = CreateIconFromResourceEx(const_cast<BYTE*>(entry.image.data()),
                                              static_cast<DWORD>(entry.image.size()), TRUE,
                                              0x00030000, entry.width, entry.height, 0);
        ASSERT_NE(icon, nullptr);
        ExpectShows(IconPixels(icon), FitToSquare(Character(), entry.width));
        DestroyIcon(icon);
    }
}

Bytes ResourceBytes(HMODULE module, const wchar_t* name, const wchar_t* type) {
    HRSRC found = FindResourceW(module, name, type);
    if (!found)
        return {};
    const auto* data = static_cast<const std::uint8_t*>(LockResource(LoadResource(module, found)));
    return Bytes(data, data + SizeofResource(module, found));
}

// The checksum as the system's image helper computes it: {stored, computed}.
std::pair<DWORD, DWORD> SystemChecksum(const fs::path& path) {
    using MapFileAndCheckSum = DWORD(WINAPI*)(PCWSTR, PDWORD, PDWORD);
    HMODULE helper = LoadLibraryW(L"imagehlp.dll");
    if (!helper)
        return {1, 0};
    auto check = reinterpret_cast<MapFileAndCheckSum>(
        reinterpret_cast<void*>(GetProcAddress(helper, "MapFileAndCheckSumW")));
    DWORD stored = 1, computed = 0;
    if (check)
        check(path.c_str(), &stored, &computed);
    FreeLibrary(helper);
    return {stored, computed};
}

TEST_F(Authoring, RewrittenPlayerCarriesTheNewIconAndKeepsItsOtherResources) {
    const fs::path original = ModuleFolder() / L"tovalin-player.exe";
    if (!fs::exists(original))
        GTEST_SKIP() << "the player is not built beside the tests";
    std::ifstream stream(original, std::ios::binary);
    const Bytes player((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    const fs::path path = dir_ / L"キャラ.exe";
    WriteAll(path, ReplaceIconResources(player, icon_));

    const auto [stored, computed] = SystemChecksum(path);
    EXPECT_EQ(stored, computed) << "the checksum in the header";

    HMODULE before = LoadLibraryExW(original.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HMODULE after = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(before, nullptr);
    ASSERT_NE(after, nullptr);
    const Bytes version = ResourceBytes(after, MAKEINTRESOURCEW(1), RT_VERSION);
    EXPECT_FALSE(version.empty());
    EXPECT_EQ(version, ResourceBytes(before, MAKEINTRESOURCEW(1), RT_VERSION));
    const Bytes manifest = ResourceBytes(after, MAKEINTRESOURCEW(1), RT_MANIFEST);
    EXPECT_FALSE(manifest.empty());
    EXPECT_EQ(manifest, ResourceBytes(before, MAKEINTRESOURCEW(1), RT_MANIFEST));

    Bytes group = ResourceBytes(after, MAKEINTRESOURCEW(1), RT_GROUP_ICON);
    ASSERT_EQ(group.size(), 6 + 14 * kCharacterIconSizes.size());
    for (std::int32_t side : kCharacterIconSizes) {
        SCOPED_TRACE(side);
        const int id = LookupIconIdFromDirectoryEx(group.data(), TRUE, side, side, 0);
        const Bytes image = ResourceBytes(after, MAKEINTRESOURCEW(id), RT_ICON);
        HICON icon = CreateIconFromResourceEx(const_cast<BYTE*>(image.data()),
                                              static_cast<DWORD>(image.size()), TRUE, 0x00030000,
                                              side, side, 0);
        ASSERT_NE(icon, nullptr);
        ExpectShows(IconPixels(icon), FitToSquare(Character(), side));
        DestroyIcon(icon);
        auto loaded = static_cast<HICON>(
            LoadImageW(after, MAKEINTRESOURCEW(1), IMAGE_ICON, side, side, LR_DEFAULTCOLOR));
        ASSERT_NE(loaded, nullptr);
        ExpectShows(IconPixels(loaded), FitToSquare(Character(), side));
        DestroyIcon(loaded);
    }
    FreeLibrary(before);
    FreeLibrary(after);

    EXPECT_EQ(ExtractIconExW(original.c_str(), -1, nullptr, nullptr, 0), 0u);
    EXPECT_EQ(ExtractIconExW(path.c_str(), -1, nullptr, nullptr, 0), 1u);
    HICON large = nullptr, small = nullptr;
    ExtractIconExW(path.c_str(), 0, &large, &small, 1);
    ASSERT_NE(large, nullptr);
    ASSERT_NE(small, nullptr);
    const RgbaImage largePixels = IconPixels(large);
    ExpectShows(largePixels, FitToSquare(Character(), largePixels.width));
    DestroyIcon(large);
    DestroyIcon(small);
}

// The frame as WIC decodes it, converted to 32-bit BGRA the way the player asks for it.
RgbaImage DecodeWithWic(const Bytes& gif) {
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    UINT width = 0, height = 0;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, factory.put_void())) ||
        FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(gif.data()),
                                            static_cast<DWORD>(gif.size()))) ||
        FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr,
                                                WICDecodeMetadataCacheOnDemand, decoder.put())) ||
        FAILED(decoder->GetFrame(0, frame.put())) ||
        FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA,
                                     WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)) ||
        FAILED(converter->GetSize(&width, &height))) {
        return {};
    }
    RgbaImage image = MakeRgbaImage(width, height);
    std::vector<std::uint8_t> bgra(4 * image.pixels.size());
    if (FAILED(
            converter->CopyPixels(nullptr, 4 * width, static_cast<UINT>(bgra.size()), bgra.data())))
        return {};
    for (std::size_t i = 0; i < image.pixels.size(); ++i)
        image.pixels[i] = Rgba{bgra[4 * i + 2], bgra[4 * i + 1], bgra[4 * i], bgra[4 * i + 3]};
    return image;
}

IndexedImage Noise(std::int32_t width, std::int32_t height, std::size_t colours, bool transparent) {
    std::mt19937 random(static_cast<std::uint32_t>(width * 7919 + height));
    RgbaImage image = MakeRgbaImage(width, height);
    std::vector<Rgba> palette;
    for (std::size_t i = 0; i < colours; ++i)
        palette.push_back(Rgba{static_cast<std::uint8_t>(random()),
                               static_cast<std::uint8_t>(random()),
                               static_cast<std::uint8_t>(random()), 255});
    for (Rgba& p : image.pixels)
        p = palette[random() % colours];
    if (transparent) {
        for (std::int32_t x = 0; x < width; ++x)
            image.At(x, 0).a = 0;  // the top row, top-left pixel included
        image.pixels.back().a = 0;
    }
    return ToIndexed(image);
}

TEST(AuthoringWic, DecodesTheWrittenGifsToTheSamePixels) {
    ComApartment com;
    struct Case {
        std::int32_t width, height;
        std::size_t colours;
        bool transparent;
    };
    for (const Case& c :
         {Case{1, 1, 1, false}, Case{5, 3, 2, true}, Case{17, 9, 3, true}, Case{40, 30, 200, true},
          Case{64, 64, 256, false}, Case{300, 200, 600, true}}) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << ", " << c.colours);
        const IndexedImage indexed = Noise(c.width, c.height, c.colours, c.transparent);
        const RgbaImage decoded = DecodeWithWic(EncodeGif(indexed));
        ASSERT_FALSE(decoded.pixels.empty()) << "WIC refused the file";
        ExpectShows(decoded, ToRgba(indexed));
        EXPECT_EQ(decoded.At(0, 0).a, c.transparent ? 0 : 255);
    }
}

}  // namespace
}  // namespace tovalin::pack

// The authoring core on arbitrary bytes. The first byte picks what the rest is fed to:
//   0  a GIF file: decoded whole and as its first frame; the first frame then reduced, written
//      and read back
//   1  a picture: a byte each for width and height, then RGBA pixels repeated to fill it;
//      reduced, written and read back, and made into an icon
//   2  an ICO file: read; its 32-bit entries decoded, written again and read back
//   3  a player image, after a 2-byte length and an ICO file of that length (length 0: an icon
//      made here); given the icon
// Refusals (PackError) are expected; what is accepted must hold together.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "package/package.h"
#include "fuzz_check.h"
#include "pack/gif_decoder.h"
#include "pack/gif_encoder.h"
#include "pack/icon.h"
#include "pack/palette.h"
#include "pack/pe_resources.h"
#include "platform/gif_decoder.h"

namespace {

namespace pack = tovalin::pack;
using tovalin::fuzz::ReadLE;
using Span = std::span<const std::uint8_t>;

// Small enough that every input runs in milliseconds, large enough for several frames.
constexpr std::uint64_t kPixelBudget = 1u << 20;
constexpr std::size_t kFrames = 8;
// Reducing and writing a large screen takes long and finds nothing a small one does not.
constexpr std::size_t kRoundTripPixels = 1u << 16;

FUZZ_ORACLE std::size_t OpaqueColours(const pack::RgbaImage& image) {
    std::vector<std::uint32_t> colours;
    for (pack::Rgba p : image.pixels) {
        if (pack::IsOpaque(p))
            colours.push_back(std::uint32_t{p.r} << 16 | std::uint32_t{p.g} << 8 | p.b);
    }
    std::sort(colours.begin(), colours.end());
    return static_cast<std::size_t>(std::unique(colours.begin(), colours.end()) - colours.begin());
}

FUZZ_ORACLE bool Binary(const pack::RgbaImage& image) {
    return std::all_of(image.pixels.begin(), image.pixels.end(),
                       [](pack::Rgba p) { return p.a == 255 || p == pack::Rgba{}; });
}

FUZZ_ORACLE pack::RgbaImage Binarised(pack::RgbaImage image) {
    for (pack::Rgba& p : image.pixels)
        p = pack::IsOpaque(p) ? pack::Rgba{p.r, p.g, p.b, 255} : pack::Rgba{};
    return image;
}

// Reduce, write, read back: the GIF shows exactly the indexed picture, the top-left pixel is
// transparent exactly when it was, and colours that fit come through unchanged.
void CheckGifRoundTrip(const pack::RgbaImage& image) {
    const pack::IndexedImage indexed = pack::ToIndexed(image);
    const bool clear = !pack::IsOpaque(image.pixels[0]);
    FUZZ_CHECK(clear == (indexed.transparentIndex == indexed.indices[0]));
    const pack::GifAnimation back = pack::DecodeGif(pack::EncodeGif(indexed));
    const pack::RgbaImage shown = pack::ToRgba(indexed);
    FUZZ_CHECK(back.frames.size() == 1 && !back.incomplete);
    FUZZ_CHECK(back.frames[0].image == shown);
    const std::size_t room = indexed.transparentIndex ? 255 : 256;
    if (OpaqueColours(image) <= room)
        FUZZ_CHECK(shown == Binarised(image));
}

FUZZ_ORACLE std::string PlatformRefusal(Span bytes) {
    try {
        tovalin::platform::DecodeGif(bytes, kFrames, kPixelBudget);
    } catch (const tovalin::platform::PictureError& refusal) {
        return refusal.what();
    }
    return {};
}

void FuzzGif(Span bytes) {
    pack::GifAnimation gif;
    try {
        gif = pack::DecodeGif(bytes, pack::GifLimits{kFrames, kPixelBudget});
    } catch (const pack::PackError& refusal) {
        // The packer's refusal is the decoder's, in the decoder's words.
        FUZZ_CHECK(PlatformRefusal(bytes) == refusal.what());
        return;
    }
    FUZZ_CHECK(!gif.frames.empty() && gif.frames.size() <= kFrames);
    for (const pack::GifFrame& frame : gif.frames) {
        FUZZ_CHECK(frame.image.width == gif.screenWidth && frame.image.height == gif.screenHeight);
        FUZZ_CHECK(Binary(frame.image));
    }
    FUZZ_CHECK(pack::DecodeGifFirstFrame(bytes, kPixelBudget) == gif.frames[0].image);
    // The player reads the first frame alone; it is whole whenever the whole file was.
    const tovalin::platform::GifAnimation first =
        tovalin::platform::DecodeGifFirstFrame(bytes, kPixelBudget);
    FUZZ_CHECK(first.frames.size() == 1 && first.frames[0].image == gif.frames[0].image);
    FUZZ_CHECK(gif.incomplete || !first.incomplete);
    if (gif.frames[0].image.pixels.size() <= kRoundTripPixels)
        CheckGifRoundTrip(gif.frames[0].image);
}

void CheckIcon(const pack::RgbaImage& image) {
    const std::vector<pack::IconEntry> entries = pack::ReadIco(pack::MakeCharacterIcon(image));
    FUZZ_CHECK(entries.size() == pack::kCharacterIconSizes.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const pack::RgbaImage icon = pack::DecodeIconEntry(entries[i]);
        FUZZ_CHECK(icon.width == pack::kCharacterIconSizes[i] && icon.height == icon.width);
        FUZZ_CHECK(Binary(icon));
        FUZZ_CHECK(icon == pack::FitToSquare(image, icon.width));
    }
}

void FuzzPicture(Span bytes) {
    if (bytes.size() < 6)
        return;
    const std::int32_t width = 1 + bytes[0] % 64, height = 1 + bytes[1] % 64;
    const Span pixels = bytes.subspan(2);
    pack::RgbaImage image = pack::MakeRgbaImage(width, height);
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        const std::size_t at = (4 * i) % (pixels.size() / 4 * 4);
        image.pixels[i] = pack::Rgba{pixels[at], pixels[at + 1], pixels[at + 2], pixels[at + 3]};
    }
    CheckGifRoundTrip(image);
    CheckIcon(image);
}

void FuzzIco(Span bytes) {
    std::vector<pack::IconEntry> entries;
    try {
        entries = pack::ReadIco(bytes);
    } catch (const pack::PackError&) {
        return;
    }
    std::vector<pack::RgbaImage> pictures;
    for (const pack::IconEntry& entry : entries) {
        FUZZ_CHECK(entry.width >= 1 && entry.width <= 256 && entry.height >= 1 &&
                   entry.height <= 256 && !entry.image.empty());
        try {
            pictures.push_back(pack::DecodeIconEntry(entry));
        } catch (const pack::PackError&) {
        }
    }
    if (pictures.empty())
        return;
    const std::vector<pack::IconEntry> again = pack::ReadIco(pack::WriteIco(pictures));
    FUZZ_CHECK(again.size() == pictures.size());
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        pack::RgbaImage expected = pictures[i];
        for (pack::Rgba& p : expected.pixels)
            p = p.a == 0 ? pack::Rgba{} : p;
        FUZZ_CHECK(pack::DecodeIconEntry(again[i]) == expected);
    }
}

const pack::Bytes& MadeIcon() {
    static const pack::Bytes icon = [] {
        pack::RgbaImage frame = pack::MakeRgbaImage(24, 32, pack::Rgba{40, 90, 200, 255});
        frame.At(0, 0).a = 0;
        return pack::MakeCharacterIcon(frame);
    }();
    return icon;
}

bool IsIcon(const pack::Resource& r) {
    return r.type == pack::ResourceKey{pack::kIconResource} ||
           r.type == pack::ResourceKey{pack::kIconGroupResource};
}

FUZZ_ORACLE std::vector<pack::Resource> SortedOthers(std::vector<pack::Resource> resources) {
    std::erase_if(resources, IsIcon);
    std::sort(resources.begin(), resources.end(), [](const auto& a, const auto& b) {
        if (a.type != b.type)
            return pack::ResourceKeyLess(a.type, b.type);
        if (a.name != b.name)
            return pack::ResourceKeyLess(a.name, b.name);
        return pack::ResourceKeyLess(a.language, b.language);
    });
    return resources;
}

// The rewritten image ends where its last section does, carries a correct checksum, holds the
// icon and every other resource unchanged, and rewriting it again changes nothing.
void FuzzRewrite(Span bytes) {
    if (bytes.size() < 2)
        return;
    const std::size_t icoLength = ReadLE(bytes, 0, 2);
    if (icoLength > bytes.size() - 2)
        return;
    const Span ico = icoLength == 0 ? Span(MadeIcon()) : bytes.subspan(2, icoLength);
    const Span image = bytes.subspan(2 + icoLength);
    pack::Bytes out;
    try {
        out = pack::ReplaceIconResources(image, ico);
    } catch (const pack::PackError&) {
        return;
    }
    FUZZ_CHECK(static_cast<std::uint64_t>(tovalin::package::EXESize(out)) == out.size());
    const std::size_t checksum = ReadLE(out, 60, 4) + 24 + 64;
    FUZZ_CHECK(ReadLE(out, checksum, 4) == pack::ComputePeChecksum(out));
    FUZZ_CHECK(pack::ReplaceIconResources(out, ico) == out);

    const std::vector<pack::IconEntry> icons = pack::ReadIco(ico);
    const std::vector<pack::Resource> after = pack::ReadResources(out);
    std::size_t iconCount = 0, groups = 0;
    for (const pack::Resource& r : after) {
        if (r.type == pack::ResourceKey{pack::kIconResource}) {
            FUZZ_CHECK(iconCount < icons.size() && r.data == icons[iconCount].image);
            FUZZ_CHECK(r.name == pack::ResourceKey{static_cast<std::uint16_t>(++iconCount)});
        }
        if (r.type == pack::ResourceKey{pack::kIconGroupResource}) {
            ++groups;
            FUZZ_CHECK(ReadLE(r.data, 4, 2) == icons.size());
        }
    }
    FUZZ_CHECK(iconCount == icons.size() && groups == 1);
    FUZZ_CHECK(SortedOthers(after) == SortedOthers(pack::ReadResources(image)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const Span rest(data + 1, size - 1);
    switch (data[0] % 4) {
        case 0:
            FuzzGif(rest);
            break;
        case 1:
            FuzzPicture(rest);
            break;
        case 2:
            FuzzIco(rest);
            break;
        default:
            FuzzRewrite(rest);
            break;
    }
    return 0;
}

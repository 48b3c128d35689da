// PNG, BMP and ICO frames decoded by the platform's imaging component, after their headers have
// been checked (picture_file.cpp), so that the decoder never allocates for a hostile claim.
#include "pack/picture_file.h"

#include <iterator>
#include <memory>
#include <string>
#include <variant>

#include "pack/file_io.h"
#include "platform/picture_wic_win32.h"

namespace tovalin::pack {

namespace {

using platform::WicFailure;
using platform::WicPixels;

constexpr std::int32_t kMaxIconEntrySide = 256;

[[noreturn]] void Undecodable(std::string_view name, std::string_view why) {
    throw PackError("「" + std::string(name) + "」を読み込めません（" + std::string(why) + "）。");
}

// The imaging component's refusal in the packer's words.
std::string_view Reason(WicFailure failure) {
    constexpr std::string_view kNoComponent = "Windows の画像コンポーネントを使えません";
    constexpr std::string_view kBroken = "画像が壊れています";
    // In the order of WicFailure.
    constexpr std::string_view kReasons[] = {kNoComponent,
                                             kNoComponent,
                                             "データを開けません",
                                             "画像が壊れているか、対応していない形式です",
                                             kBroken,
                                             kBroken,
                                             "ヘッダーと画素の大きさが合いません",
                                             "画素の形式を変換できません",
                                             "画像のデータが壊れています"};
    static_assert(std::size(kReasons) == static_cast<std::size_t>(WicFailure::kNoPixels) + 1);
    return kReasons[static_cast<std::size_t>(failure)];
}

// The decoder must report the picture the checked header declared: anything larger would have
// escaped the check. An icon entry's directory may state other sides than its image.
bool DeclaredSides(std::uint32_t width, std::uint32_t height, PictureFormat format,
                   const DeclaredPicture& declared) {
    const bool same = width == static_cast<std::uint32_t>(declared.width) &&
                      height == static_cast<std::uint32_t>(declared.height);
    const bool iconSized = format == PictureFormat::kIco && width >= 1 && height >= 1 &&
                           width <= kMaxIconEntrySide && height <= kMaxIconEntrySide;
    return same || iconSized;
}

}  // namespace

struct DecoderSession::Host {
    platform::PictureBatch batch;
};

DecoderSession::DecoderSession() : host_(std::make_unique<Host>()) {}

DecoderSession::~DecoderSession() = default;

bool HostDecodesStillPictures() {
    return true;
}

RgbaImage DecodeDeclaredPicture(std::span<const std::uint8_t> bytes, PictureFormat format,
                                const DeclaredPicture& declared, std::string_view nameUtf8) {
    const auto decoded = platform::DecodeWithWic(
        bytes, format, declared.entry, [&](std::uint32_t width, std::uint32_t height) {
            return DeclaredSides(width, height, format, declared);
        });
    if (const auto* failure = std::get_if<WicFailure>(&decoded))
        Undecodable(nameUtf8, Reason(*failure));
    const WicPixels& pixels = std::get<WicPixels>(decoded);
    RgbaImage image = MakeRgbaImage(pixels.width, pixels.height);
    // A BMP has no transparency the player honours: its top-left colour is cut away instead.
    const bool opaque = format == PictureFormat::kBmp;
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        const std::uint32_t argb = pixels.argb[i];
        image.pixels[i] =
            Rgba{static_cast<std::uint8_t>(argb >> 16), static_cast<std::uint8_t>(argb >> 8),
                 static_cast<std::uint8_t>(argb),
                 opaque ? std::uint8_t{255} : static_cast<std::uint8_t>(argb >> 24)};
    }
    return image;
}

}  // namespace tovalin::pack

#include "shape/frames_win32.h"

#include "motion/units.h"
#include "platform/picture_win32.h"
#include "platform/system_win32.h"
#include "shape/frames.h"
#include "shape/region.h"
#include "shape/view_win32.h"

#include <cmath>
#include <cstring>

namespace tovalin::shape {

namespace {

constexpr const wchar_t* kTooLarge = L"画像サイズが大きすぎます。";

std::int32_t ToTwips(std::int32_t pixels, double twipsPerPixel) {
    return static_cast<std::int32_t>(std::lround(pixels * twipsPerPixel));
}

// A record that was never written would end the program when shown; a frame without character
// pixels gets an empty region there instead, so it simply shows nothing. A record that already
// holds an earlier frame's shape keeps it.
void MarkEmptyIfNeverWritten(RegionRecord& record) {
    RGNDATAHEADER header{};
    std::memcpy(&header, record.bytes.data(), sizeof(header));
    if (header.dwSize != 0)
        return;
    header.dwSize = sizeof(RGNDATAHEADER);
    header.iType = RDH_RECTANGLES;
    std::memcpy(record.bytes.data(), &header, sizeof(header));
}

PicturePtr MakePicture(const platform::DecodedPicture& decoded) {
    auto picture = std::make_shared<Picture>();
    picture->bitmap = platform::CreatePictureBitmap(decoded);
    picture->width = decoded.width;
    picture->height = decoded.height;
    return picture;
}

}  // namespace

FrameLoad LoadFrame(const std::wstring& path, std::wstring* error) {
    const std::int32_t k = gFrameCount;
    if (k < 0 || k >= kMaxFrames) {
        if (error)
            *error = L"画像は " + std::to_wstring(kMaxFrames) + L" 枚までです。";
        return FrameLoad::kTableFull;
    }
    std::wstring reason;
    const std::optional<platform::DecodedPicture> decoded =
        platform::DecodePicture(path, platform::ButtonFaceRgb(), &reason);
    if (!decoded) {
        if (error)
            *error = L"画像ファイル「" + path + L"」を読み込めませんでした。";
        return FrameLoad::kUndecodable;
    }
    const auto index = static_cast<std::size_t>(k);
    frmView& store = frmView::Default();
    if (store.Pic.size() <= index)
        store.Pic.resize(index + 1);
    store.Pic[index] = MakePicture(*decoded);

    gFrameWidth[index] = ToTwips(decoded->width, platform::TwipsPerPixelX());
    gFrameHeight[index] = ToTwips(decoded->height, platform::TwipsPerPixelY());

    const std::uint32_t key = decoded->pixels.front();
    const std::uint32_t r =
        BuildRegionData(decoded->pixels, decoded->width, decoded->height, key, gRgnData[index]);
    if (r == 0) {
        MarkEmptyIfNeverWritten(gRgnData[index]);
    } else if (r >= kRegionWarningSize) {
        platform::ShowMessage(kTooLarge, platform::kAppTitle, 0);
    }
    gFrameCount = k + 1;
    return FrameLoad::kLoaded;
}

void ClearFrameStore() {
    frmView::UnloadDefault();
    gFrameCount = 0;
}

}  // namespace tovalin::shape

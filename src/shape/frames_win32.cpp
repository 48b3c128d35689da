#include "shape/frames_win32.h"

#include "platform/picture_win32.h"
#include "platform/dpi_win32.h"
#include "platform/message_box_win32.h"
#include "platform/screen_metrics_win32.h"
#include "platform/units.h"
#include "shape/frames.h"
#include "shape/region.h"
#include "shape/view_win32.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

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

PicturePtr MakePicture(platform::DecodedPicture decoded, int scale) {
    auto picture = std::make_shared<Picture>();
    picture->bitmap = platform::CreatePictureBitmap(decoded, scale);
    picture->scale = scale;
    picture->pixels = std::move(decoded);
    return picture;
}

// A frame's size in twips: its pixels drawn at the display scale, so that it keeps its physical
// size on every display.
void Measure(std::size_t index, const platform::DecodedPicture& pixels, int scale) {
    gFrameWidth[index] = ToTwips(pixels.width * scale, platform::TwipsPerPixelX());
    gFrameHeight[index] = ToTwips(pixels.height * scale, platform::TwipsPerPixelY());
}

}  // namespace

namespace {

bool TableFull(std::wstring* error) {
    if (gFrameCount >= 0 && gFrameCount < kMaxFrames)
        return false;
    if (error)
        *error = L"画像は " + std::to_wstring(kMaxFrames) + L" 枚までです。";
    return true;
}

// Makes the decoded picture frame gFrameCount: its size, region data, shape and picture.
FrameLoad AddFrame(std::optional<platform::DecodedPicture> decoded, const std::wstring& path,
                   std::wstring* error) {
    if (!decoded) {
        if (error)
            *error = L"画像ファイル「" + path + L"」を読み込めませんでした。";
        return FrameLoad::kUndecodable;
    }
    const std::int32_t k = gFrameCount;
    const auto index = static_cast<std::size_t>(k);
    const int scale = platform::DisplayScale();
    Measure(index, *decoded, scale);
    const std::uint32_t key = decoded->pixels.front();
    const std::uint32_t r =
        BuildRegionData(decoded->pixels, decoded->width, decoded->height, key, gRgnData[index]);
    frmView& store = frmView::Default();
    if (store.Pic.size() <= index)
        store.Pic.resize(index + 1);
    store.Pic[index] = MakePicture(std::move(*decoded), scale);

    if (r == 0)
        MarkEmptyIfNeverWritten(gRgnData[index]);
    gRgnShape[index] = index > 0 && SameRegionData(gRgnData[index], gRgnData[index - 1])
                           ? gRgnShape[index - 1]
                           : k;
    if (r >= kRegionWarningSize)
        platform::ShowMessage(kTooLarge, platform::kAppTitle, 0);
    gFrameCount = k + 1;
    return FrameLoad::kLoaded;
}

}  // namespace

FrameLoad LoadFrame(const std::wstring& path, std::wstring* error) {
    if (TableFull(error))
        return FrameLoad::kTableFull;
    return AddFrame(platform::DecodePicture(path, platform::ButtonFaceRgb()), path, error);
}

FrameLoad LoadFrame(std::span<const std::uint8_t> bytes, const std::wstring& path,
                    std::wstring* error) {
    if (TableFull(error))
        return FrameLoad::kTableFull;
    return AddFrame(platform::DecodePicture(bytes, platform::ButtonFaceRgb()), path, error);
}

void RescaleFrames() {
    frmView* store = frmView::DefaultIfLoaded();
    if (!store)
        return;
    const int scale = platform::DisplayScale();
    const auto n = std::min(store->Pic.size(), static_cast<std::size_t>(gFrameCount));
    for (std::size_t k = 0; k < n; ++k) {
        if (!store->Pic[k])
            continue;
        Measure(k, store->Pic[k]->pixels, scale);
        if (store->Pic[k]->scale != scale)
            store->Pic[k] = MakePicture(store->Pic[k]->pixels, scale);
    }
}

void ClearFrameStore() {
    frmView::UnloadDefault();
    gFrameCount = 0;
    ++gFrameSet;
}

struct SavedFrames {
    std::int32_t count = 0;
    std::vector<PicturePtr> pictures;
    std::vector<RegionRecord> regions;
    std::vector<std::int32_t> widths, heights, shapes;
};

void SavedFramesDeleter::operator()(SavedFrames* saved) const {
    delete saved;
}

SavedFramesPtr SaveFrameStore() {
    SavedFramesPtr saved(new SavedFrames);
    const auto n = static_cast<std::size_t>(std::clamp(gFrameCount, 0, kMaxFrames));
    saved->count = static_cast<std::int32_t>(n);
    if (const frmView* store = frmView::DefaultIfLoaded())
        saved->pictures = store->Pic;
    saved->regions.assign(gRgnData.begin(), gRgnData.begin() + n);
    saved->widths.assign(gFrameWidth.begin(), gFrameWidth.begin() + n);
    saved->heights.assign(gFrameHeight.begin(), gFrameHeight.begin() + n);
    saved->shapes.assign(gRgnShape.begin(), gRgnShape.begin() + n);
    return saved;
}

void RestoreFrameStore(SavedFramesPtr saved) {
    if (!saved)
        return;
    ClearFrameStore();
    const std::size_t n = saved->regions.size();
    std::copy(saved->regions.begin(), saved->regions.end(), gRgnData.begin());
    std::copy(saved->widths.begin(), saved->widths.end(), gFrameWidth.begin());
    std::copy(saved->heights.begin(), saved->heights.end(), gFrameHeight.begin());
    std::copy(saved->shapes.begin(), saved->shapes.end(), gRgnShape.begin());
    frmView::Default().Pic = std::move(saved->pictures);
    gFrameCount = static_cast<std::int32_t>(n);
}

}  // namespace tovalin::shape

#include "shape/region.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace tovalin::shape {
namespace {

struct Rect {
    std::int32_t left, top, right, bottom;
};
static_assert(sizeof(Rect) == kRegionRectSize);

constexpr std::uint32_t kRgbMask = 0x00FFFFFF;
constexpr std::uint32_t kRdhRectangles = 1;

// Collects the region's bands row by row, the way the system's region union leaves them: each
// maximal run of character pixels in a row is one rectangle, and a row whose runs equal those of
// the band directly above only lowers that band's bottom edge. Rectangles go to a scratch list so
// that nothing reaches the caller's record before the whole region is known to fit.
class BandBuilder {
  public:
    explicit BandBuilder(Rect* rects) noexcept : rects_(rects) {}

    // False when the region needs more rectangles than a record holds.
    bool AddRow(const std::uint32_t* row, std::int32_t width, std::int32_t y,
                std::uint32_t key) noexcept {
        const std::size_t rowStart = count_;
        bool matching = bandRuns_ > 0 && bandBottom_ == y;
        std::size_t matched = 0;
        std::int32_t x = 0;
        for (;;) {
            while (x < width && (row[x] & kRgbMask) == key)
                ++x;
            if (x == width)
                break;
            const std::int32_t left = x;
            while (x < width && (row[x] & kRgbMask) != key)
                ++x;
            if (matching) {
                if (matched < bandRuns_ && rects_[bandStart_ + matched].left == left &&
                    rects_[bandStart_ + matched].right == x) {
                    ++matched;
                    continue;
                }
                matching = false;
                if (!CopyBandRuns(matched, y))
                    return false;
            }
            if (!Append(left, y, x))
                return false;
        }
        if (matching && matched == bandRuns_) {
            bandBottom_ = y + 1;
            return true;
        }
        if (matching && !CopyBandRuns(matched, y))
            return false;
        if (count_ > rowStart)
            StartBand(rowStart, y);
        return true;
    }

    void Finish() noexcept { CloseBand(); }

    std::size_t count() const noexcept { return count_; }
    std::int32_t minLeft() const noexcept { return minLeft_; }
    std::int32_t maxRight() const noexcept { return maxRight_; }

  private:
    bool Append(std::int32_t left, std::int32_t y, std::int32_t right) noexcept {
        if (count_ == kRegionMaxRects)
            return false;
        rects_[count_++] = Rect{left, y, right, y + 1};
        minLeft_ = std::min(minLeft_, left);
        maxRight_ = std::max(maxRight_, right);
        return true;
    }

    // A row that starts like the band above but differs later: its leading runs were only
    // compared so far, so they are written now, taken from the band they matched.
    bool CopyBandRuns(std::size_t n, std::int32_t y) noexcept {
        for (std::size_t i = 0; i < n; ++i) {
            const Rect& above = rects_[bandStart_ + i];
            if (!Append(above.left, y, above.right))
                return false;
        }
        return true;
    }

    void StartBand(std::size_t first, std::int32_t y) noexcept {
        CloseBand();
        bandStart_ = first;
        bandRuns_ = count_ - first;
        bandBottom_ = y + 1;
    }

    void CloseBand() noexcept {
        for (std::size_t i = bandStart_; i < bandStart_ + bandRuns_; ++i)
            rects_[i].bottom = bandBottom_;
    }

    Rect* rects_;
    std::size_t count_ = 0;
    std::size_t bandStart_ = 0;
    std::size_t bandRuns_ = 0;
    std::int32_t bandBottom_ = 0;
    std::int32_t minLeft_ = std::numeric_limits<std::int32_t>::max();
    std::int32_t maxRight_ = std::numeric_limits<std::int32_t>::min();
};

bool ValidFrame(std::span<const std::uint32_t> pixels, std::int32_t width,
                std::int32_t height) noexcept {
    if (width <= 0 || height <= 0 || width > platform::kMaxImageSide ||
        height > platform::kMaxImageSide)
        return false;
    return pixels.size() >= static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

void WriteRecord(const Rect* rects, const BandBuilder& bands, RegionRecord& record) noexcept {
    const auto count = static_cast<std::uint32_t>(bands.count());
    const std::uint32_t rectBytes = count * static_cast<std::uint32_t>(kRegionRectSize);
    const std::int32_t boundTop = rects[0].top;
    const std::int32_t boundBottom = rects[count - 1].bottom;
    const std::uint32_t header[8] = {static_cast<std::uint32_t>(kRegionHeaderSize),
                                     kRdhRectangles,
                                     count,
                                     rectBytes,
                                     static_cast<std::uint32_t>(bands.minLeft()),
                                     static_cast<std::uint32_t>(boundTop),
                                     static_cast<std::uint32_t>(bands.maxRight()),
                                     static_cast<std::uint32_t>(boundBottom)};
    static_assert(sizeof(header) == kRegionHeaderSize);
    std::memcpy(record.bytes.data(), header, sizeof(header));
    std::memcpy(record.bytes.data() + kRegionHeaderSize, rects, rectBytes);
}

}  // namespace

std::uint32_t BuildRegionData(std::span<const std::uint32_t> pixels, std::int32_t width,
                              std::int32_t height, std::uint32_t keyColour,
                              RegionRecord& record) noexcept {
    if (!ValidFrame(pixels, width, height))
        return 0;
    // 64 KB of stack rather than the heap: building never fails for want of memory and never
    // throws, which matters to callers inside window procedures.
    Rect rects[kRegionMaxRects];
    BandBuilder bands(rects);
    const std::uint32_t key = keyColour & kRgbMask;
    const std::uint32_t* row = pixels.data();
    for (std::int32_t y = 0; y < height; ++y, row += width) {
        if (!bands.AddRow(row, width, y, key))
            return 0;
    }
    if (bands.count() == 0)
        return 0;
    bands.Finish();
    WriteRecord(rects, bands, record);
    return static_cast<std::uint32_t>(kRegionHeaderSize + bands.count() * kRegionRectSize);
}

namespace {

// The bytes the record's header says it uses, or 0 when they would not fit in the record.
std::size_t UsedBytes(const RegionRecord& record) noexcept {
    std::uint32_t header[4] = {};
    std::memcpy(header, record.bytes.data(), sizeof(header));
    const std::uint64_t used = std::uint64_t{header[0]} + header[3];
    return used <= record.bytes.size() ? static_cast<std::size_t>(used) : 0;
}

}  // namespace

bool SameRegionData(const RegionRecord& a, const RegionRecord& b) noexcept {
    const std::size_t used = UsedBytes(a);
    return used != 0 && used == UsedBytes(b) &&
           std::memcmp(a.bytes.data(), b.bytes.data(), used) == 0;
}

}  // namespace tovalin::shape

// Cases that fuzzing brought up. The fuzz targets (tests/fuzz) found no crash, hang, leak or
// sanitizer report; their coverage report showed one path no input had reached, the record
// filling up while a row's leading runs are copied from the band above. These cases pin it
// down, so that a change there cannot pass unnoticed by the ordinary test run.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "shape/region.h"

namespace tovalin::shape {
namespace {

constexpr std::uint32_t kFace = 0xF0F0F0;
constexpr std::uint32_t kInk = 0x203040;

struct Frame {
    std::int32_t width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
};

// Rows of `runs` one-pixel runs (at x = 0, 2, 4, ...) alternate with rows lacking the last run.
// Every row after the first starts like the band above and then differs, so its leading runs
// are copied from that band: at the end of the row when it has one run fewer, on meeting the
// extra run when it has one more.
Frame AlternatingRows(std::int32_t runs, std::int32_t rows) {
    Frame f;
    f.width = 2 * runs + 1;
    f.height = rows;
    f.pixels.assign(static_cast<std::size_t>(f.width) * static_cast<std::size_t>(rows), kFace);
    for (std::int32_t y = 0; y < rows; ++y) {
        const std::int32_t inRow = y % 2 == 0 ? runs : runs - 1;
        for (std::int32_t i = 0; i < inRow; ++i)
            f.pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(f.width) +
                     static_cast<std::size_t>(2 * i)] = kInk;
    }
    return f;
}

std::uint32_t RectCount(const RegionRecord& record) {
    std::uint32_t count;
    std::memcpy(&count, record.bytes.data() + 8, 4);
    return count;
}

std::uint32_t Build(const Frame& f, RegionRecord& record) {
    record.bytes.fill(0x5A);
    return BuildRegionData(f.pixels, f.width, f.height, kFace, record);
}

bool Untouched(const RegionRecord& record) {
    for (std::uint8_t b : record.bytes)
        if (b != 0x5A)
            return false;
    return true;
}

struct Case {
    const char* path;
    std::int32_t runs;
    std::int32_t rowsThatFit;  // with one row more, the copy crosses the 4,000th rectangle
    std::uint32_t rects;       // rectangles of rowsThatFit rows
};

TEST(FuzzRegression, RecordFillingUpWhileRunsAreCopiedFromTheBandAbove) {
    // 7 runs: 308 rows of 7 and 307 of 6 make 3,998; the next row, one run short, copies 6 more
    // at its end and passes 4,000 on the third. 9 runs: 235 rows each of 9 and 8 make 3,995; the
    // next row copies 8 on meeting its ninth run and passes 4,000 on the sixth.
    for (const Case& c : {Case{"end of row", 7, 615, 3998}, Case{"mid-row", 9, 470, 3995}}) {
        SCOPED_TRACE(c.path);
        RegionRecord record;
        const std::uint32_t r = Build(AlternatingRows(c.runs, c.rowsThatFit), record);
        EXPECT_EQ(r, kRegionHeaderSize + kRegionRectSize * c.rects);
        EXPECT_EQ(RectCount(record), c.rects);

        EXPECT_EQ(Build(AlternatingRows(c.runs, c.rowsThatFit + 1), record), 0u);
        EXPECT_TRUE(Untouched(record));
    }
}

}  // namespace
}  // namespace tovalin::shape

#include "shape/region.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace tovalin::shape {
namespace {

constexpr std::uint32_t kFace = 0xF0F0F0;  // what transparent pixels read as
constexpr std::uint32_t kInk = 0x203040;

struct Rect {
    std::int32_t left, top, right, bottom;
    bool operator==(const Rect&) const = default;
};

void PrintTo(const Rect& r, std::ostream* os) {
    *os << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
}

struct Frame {
    std::int32_t width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
};

// '#' is a character pixel, '.' a transparent one.
Frame FromRows(const std::vector<std::string>& rows) {
    Frame f;
    f.height = static_cast<std::int32_t>(rows.size());
    f.width = static_cast<std::int32_t>(rows.at(0).size());
    for (const std::string& row : rows)
        for (char c : row)
            f.pixels.push_back(c == '#' ? kInk : kFace);
    return f;
}

std::uint32_t Word(const RegionRecord& record, std::size_t index) {
    std::uint32_t value;
    std::memcpy(&value, record.bytes.data() + 4 * index, 4);
    return value;
}

Rect Bound(const RegionRecord& record) {
    return {static_cast<std::int32_t>(Word(record, 4)), static_cast<std::int32_t>(Word(record, 5)),
            static_cast<std::int32_t>(Word(record, 6)), static_cast<std::int32_t>(Word(record, 7))};
}

std::vector<Rect> Rects(const RegionRecord& record) {
    std::vector<Rect> rects(Word(record, 2));
    std::memcpy(rects.data(), record.bytes.data() + kRegionHeaderSize, rects.size() * 16);
    return rects;
}

// Builds into a record pre-filled with a pattern, checks the header against the rectangles and
// that nothing past the data was written.
std::vector<Rect> Build(const Frame& f, std::uint32_t key = kFace) {
    RegionRecord record;
    record.bytes.fill(0xA5);
    const std::uint32_t r = BuildRegionData(f.pixels, f.width, f.height, key, record);
    if (r == 0)
        return {};
    EXPECT_EQ(Word(record, 0), 32u);
    EXPECT_EQ(Word(record, 1), 1u);
    EXPECT_EQ(Word(record, 3), 16 * Word(record, 2));
    EXPECT_EQ(r, 32 + Word(record, 3));
    for (std::size_t i = r; i < kRegionRecordSize; ++i) {
        if (record.bytes[i] != 0xA5) {
            ADD_FAILURE() << "byte " << i << " past the data was written";
            break;
        }
    }
    return Rects(record);
}

bool Untouched(const RegionRecord& record) {
    for (std::uint8_t b : record.bytes)
        if (b != 0x5A)
            return false;
    return true;
}

std::uint32_t BuildIntoPattern(const Frame& f, std::uint32_t key, RegionRecord& record) {
    record.bytes.fill(0x5A);
    return BuildRegionData(f.pixels, f.width, f.height, key, record);
}

TEST(RegionBands, SinglePixelIsOneRectangleAndItsOwnBound) {
    RegionRecord record;
    const Frame f = FromRows({"....", "..#.", "...."});
    ASSERT_EQ(BuildRegionData(f.pixels, f.width, f.height, kFace, record), 48u);
    EXPECT_EQ(Rects(record), (std::vector<Rect>{{2, 1, 3, 2}}));
    EXPECT_EQ(Bound(record), (Rect{2, 1, 3, 2}));
}

TEST(RegionBands, HoleSplitsTheBandIntoRunsAroundIt) {
    const Frame f = FromRows({"####", "#..#", "####"});
    EXPECT_EQ(Build(f),
              (std::vector<Rect>{{0, 0, 4, 1}, {0, 1, 1, 2}, {3, 1, 4, 2}, {0, 2, 4, 3}}));
}

TEST(RegionBands, IdenticalAdjacentRowsShareOneBandButAGapSeparatesThem) {
    const Frame f = FromRows({".##.#", ".##.#", ".##.#", ".....", ".##.#"});
    EXPECT_EQ(Build(f),
              (std::vector<Rect>{{1, 0, 3, 3}, {4, 0, 5, 3}, {1, 4, 3, 5}, {4, 4, 5, 5}}));
}

TEST(RegionBands, RowsThatDifferAnywhereStartNewBands) {
    const Frame f = FromRows({
        "##.##",
        "##.##",
        "##...",  // the band's first run only
        "##.##",  // one run more than the row above
        "##.#.",  // last run shorter
        "#####",
    });
    EXPECT_EQ(Build(f), (std::vector<Rect>{{0, 0, 2, 2},
                                           {3, 0, 5, 2},
                                           {0, 2, 2, 3},
                                           {0, 3, 2, 4},
                                           {3, 3, 5, 4},
                                           {0, 4, 2, 5},
                                           {3, 4, 4, 5},
                                           {0, 5, 5, 6}}));
}

TEST(RegionBands, FullFrameIsOneRectangle) {
    RegionRecord record;
    const Frame f = FromRows({"######", "######", "######"});
    ASSERT_EQ(BuildRegionData(f.pixels, f.width, f.height, kFace, record), 48u);
    EXPECT_EQ(Rects(record), (std::vector<Rect>{{0, 0, 6, 3}}));
    EXPECT_EQ(Bound(record), (Rect{0, 0, 6, 3}));
}

TEST(RegionBands, BoundSpansLeftmostToRightmostRun) {
    RegionRecord record;
    const Frame f = FromRows({".....", "...#.", "#....", "..#..", "....."});
    ASSERT_EQ(BuildRegionData(f.pixels, f.width, f.height, kFace, record), 32u + 3 * 16);
    EXPECT_EQ(Bound(record), (Rect{0, 1, 4, 4}));
}

TEST(RegionKeyColour, PixelOfExactlyTheKeyColourIsCutOut) {
    Frame f = FromRows({"###", "###", "###"});
    f.pixels[4] = kFace;  // opaque, but the same colour as the transparent area
    EXPECT_EQ(Build(f),
              (std::vector<Rect>{{0, 0, 3, 1}, {0, 1, 1, 2}, {2, 1, 3, 2}, {0, 2, 3, 3}}));
}

TEST(RegionKeyColour, CharacterColourAtTopLeftIsCutAndTransparentAreaKept) {
    const Frame f = FromRows({"##.", "#..", "..."});
    EXPECT_EQ(Build(f, f.pixels[0]), (std::vector<Rect>{{2, 0, 3, 1}, {1, 1, 3, 2}, {0, 2, 3, 3}}));
}

TEST(RegionKeyColour, OnlyTheLow24BitsAreCompared) {
    Frame f = FromRows({"#.", ".#"});
    f.pixels[1] = 0xFF000000 | kFace;
    EXPECT_EQ(Build(f, 0x7F000000 | kFace), (std::vector<Rect>{{0, 0, 1, 1}, {1, 1, 2, 2}}));
}

TEST(RegionUntouched, SingleColourFrameGivesZeroAndWritesNothing) {
    RegionRecord record;
    const Frame f = FromRows({"....", "...."});
    EXPECT_EQ(BuildIntoPattern(f, kFace, record), 0u);
    EXPECT_TRUE(Untouched(record));
}

TEST(RegionUntouched, InvalidArgumentsGiveZeroAndWriteNothing) {
    RegionRecord record;
    const Frame f = FromRows({"#.", ".#"});
    for (auto [w, h] : {std::pair{0, 2}, {2, 0}, {-2, 2}, {2, -2}, {3, 2}, {2, 3}}) {
        record.bytes.fill(0x5A);
        EXPECT_EQ(BuildRegionData(f.pixels, w, h, kFace, record), 0u) << w << "x" << h;
        EXPECT_TRUE(Untouched(record)) << w << "x" << h;
    }
    const std::vector<std::uint32_t> wide(32768, kInk);
    record.bytes.fill(0x5A);
    EXPECT_EQ(BuildRegionData(wide, 32768, 1, kFace, record), 0u);
    EXPECT_TRUE(Untouched(record));
    EXPECT_EQ(BuildRegionData(std::span(wide).first(32767), 32767, 1, kFace, record), 48u);
}

TEST(RegionUntouched, SmallerRegionLeavesTheRestOfAnEarlierOneInPlace) {
    RegionRecord record;
    const Frame big = FromRows({"#.#.#", ".....", "#.#.#"});
    const Frame small = FromRows({"#....", ".....", "....."});
    ASSERT_EQ(BuildRegionData(big.pixels, big.width, big.height, kFace, record), 32u + 6 * 16);
    const RegionRecord before = record;
    ASSERT_EQ(BuildRegionData(small.pixels, small.width, small.height, kFace, record), 48u);
    EXPECT_EQ(
        std::memcmp(record.bytes.data() + 48, before.bytes.data() + 48, kRegionRecordSize - 48), 0);
}

// count isolated pixels, 50 to a row, on every other row and column: one rectangle each.
Frame IsolatedPixels(int count) {
    Frame f;
    f.width = 100;
    f.height = 2 * ((count + 49) / 50);
    f.pixels.assign(static_cast<std::size_t>(f.width * f.height), kFace);
    for (int i = 0; i < count; ++i)
        f.pixels[static_cast<std::size_t>((2 * (i / 50)) * f.width + 2 * (i % 50))] = kInk;
    return f;
}

TEST(RegionLimits, UpToFourThousandRectanglesAreStored) {
    for (int count : {3997, 3998, 4000}) {
        RegionRecord record;
        const Frame f = IsolatedPixels(count);
        const std::uint32_t r = BuildRegionData(f.pixels, f.width, f.height, kFace, record);
        EXPECT_EQ(r, 32u + 16u * static_cast<std::uint32_t>(count));
        EXPECT_EQ(r >= kRegionWarningSize, count >= 3998) << count;
        const std::vector<Rect> rects = Rects(record);
        ASSERT_EQ(rects.size(), static_cast<std::size_t>(count));
        const int last = count - 1;
        const std::int32_t lx = 2 * (last % 50), ly = 2 * (last / 50);
        EXPECT_EQ(rects.back(), (Rect{lx, ly, lx + 1, ly + 1}));
        EXPECT_EQ(Bound(record), (Rect{0, 0, count >= 50 ? 99 : lx + 1, ly + 1}));
    }
}

TEST(RegionLimits, MoreThanFourThousandRectanglesWriteNothing) {
    RegionRecord record;
    const Frame f = IsolatedPixels(4001);
    EXPECT_EQ(BuildIntoPattern(f, kFace, record), 0u);
    EXPECT_TRUE(Untouched(record));

    Frame row;  // all in one row: the overflow comes in the middle of a band
    row.width = 8003;
    row.height = 1;
    for (std::int32_t x = 0; x < row.width; ++x)
        row.pixels.push_back(x % 2 ? kFace : kInk);
    EXPECT_EQ(BuildIntoPattern(row, kFace, record), 0u);
    EXPECT_TRUE(Untouched(record));
}

// Two rows of 2,000 runs, the second equal to the first up to its last run, which differs; with
// `extra` another run is appended to the second row.
Frame TwoNearlyEqualRows(bool extra) {
    Frame f;
    f.width = 4 * 2000 + 4;
    f.height = 2;
    f.pixels.assign(static_cast<std::size_t>(f.width * 2), kFace);
    for (int i = 0; i < 2000; ++i) {
        f.pixels[static_cast<std::size_t>(4 * i)] = kInk;
        f.pixels[static_cast<std::size_t>(f.width + 4 * i)] = kInk;
    }
    f.pixels[static_cast<std::size_t>(f.width + 4 * 1999 + 1)] = kInk;  // widens the last run
    if (extra)
        f.pixels[static_cast<std::size_t>(2 * f.width - 1)] = kInk;
    return f;
}

TEST(RegionLimits, RowCopiedFromTheBandAboveCountsTowardsTheLimit) {
    RegionRecord record;
    const Frame fits = TwoNearlyEqualRows(false);
    ASSERT_EQ(BuildIntoPattern(fits, kFace, record), kRegionRecordSize);
    const std::vector<Rect> rects = Rects(record);
    EXPECT_EQ(rects[2000], (Rect{0, 1, 1, 2}));
    EXPECT_EQ(rects[3999], (Rect{4 * 1999, 1, 4 * 1999 + 2, 2}));

    EXPECT_EQ(BuildIntoPattern(TwoNearlyEqualRows(true), kFace, record), 0u);
    EXPECT_TRUE(Untouched(record));
}

TEST(RegionRecords, SameDataComparesTheUsedBytesOnly) {
    const std::vector<std::uint32_t> disc = {0, 1, 0, 1, 1, 1, 0, 1, 0};
    const std::vector<std::uint32_t> bar = {0, 0, 0, 1, 1, 1, 0, 0, 0};
    RegionRecord a, b, c;
    b.bytes.fill(0xAB);  // what lies past the used bytes does not count
    ASSERT_GT(BuildRegionData(disc, 3, 3, 0, a), 0u);
    ASSERT_GT(BuildRegionData(disc, 3, 3, 0, b), 0u);
    ASSERT_GT(BuildRegionData(bar, 3, 3, 0, c), 0u);
    EXPECT_TRUE(SameRegionData(a, b));
    EXPECT_FALSE(SameRegionData(a, c));
    // Never written, or with a header claiming more than the record holds: never the same.
    RegionRecord empty, damaged = a;
    EXPECT_FALSE(SameRegionData(empty, RegionRecord{}));
    damaged.bytes[12] = 0xFF;  // nRgnSize
    damaged.bytes[13] = 0xFF;
    RegionRecord damagedToo = damaged;
    EXPECT_FALSE(SameRegionData(damaged, damagedToo));
}

}  // namespace
}  // namespace tovalin::shape

// The direct region builder against the system's own region union: same size reported, same
// bytes, for the shipped frames and for generated masks.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/handles_win32.h"
#include "platform/picture_win32.h"
#include "platform/text_win32.h"
#include "shape/region.h"
#include "support/support_win32.h"

namespace tovalin::shape {
namespace {

using platform::UniqueHrgn;

constexpr std::uint32_t kFace = 0xD4D0C8;
constexpr std::uint32_t kInk = 0x336699;
constexpr std::uint8_t kFill = 0xC3;

struct Frame {
    std::string name;
    std::int32_t width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
};

RGNDATA* AsRgnData(RegionRecord& record) {
    return reinterpret_cast<RGNDATA*>(record.bytes.data());
}

// One 1x1 region per character pixel united into the first, then the data queried with the
// record's full capacity: the way frame regions were made before the direct builder.
std::uint32_t ReferenceRegionData(const Frame& f, std::uint32_t key, RegionRecord& record) {
    UniqueHrgn united;
    for (std::int32_t y = 0; y < f.height; ++y) {
        for (std::int32_t x = 0; x < f.width; ++x) {
            const std::uint32_t colour = f.pixels[static_cast<std::size_t>(y * f.width + x)];
            if ((colour & 0xFFFFFF) == (key & 0xFFFFFF))
                continue;
            UniqueHrgn pixel(::CreateRectRgn(x, y, x + 1, y + 1));
            EXPECT_TRUE(pixel);
            if (!united) {
                united = std::move(pixel);
            } else {
                EXPECT_NE(::CombineRgn(united.get(), pixel.get(), united.get(), RGN_OR), ERROR);
            }
        }
    }
    if (!united)
        return 0;
    return ::GetRegionData(united.get(), kRegionRecordSize, AsRgnData(record));
}

std::string FirstDifference(const RegionRecord& a, const RegionRecord& b) {
    const auto diff = std::mismatch(a.bytes.begin(), a.bytes.end(), b.bytes.begin());
    if (diff.first == a.bytes.end())
        return "none";
    return "byte " + std::to_string(diff.first - a.bytes.begin());
}

// Both records start with the same fill, so equal records also mean that neither wrote past its
// data, and that a 0 left both untouched. Returns the size both reported.
std::uint32_t ExpectSameAsReference(const Frame& f, std::uint32_t key) {
    RegionRecord expected, actual;
    expected.bytes.fill(kFill);
    actual.bytes.fill(kFill);
    const std::uint32_t want = ReferenceRegionData(f, key, expected);
    const std::uint32_t got = BuildRegionData(f.pixels, f.width, f.height, key, actual);
    EXPECT_EQ(got, want) << f.name;
    EXPECT_TRUE(expected.bytes == actual.bytes)
        << f.name << ": first difference at " << FirstDifference(expected, actual);
    if (got != 0) {
        // Re-shaping takes the header's size plus its rectangle bytes, as a window does.
        const auto* header = &AsRgnData(actual)->rdh;
        UniqueHrgn rebuilt(
            ::ExtCreateRegion(nullptr, header->dwSize + header->nRgnSize, AsRgnData(actual)));
        EXPECT_TRUE(rebuilt) << f.name;
    }
    return got;
}

std::uint32_t ExpectSameAsReference(const Frame& f) {
    return ExpectSameAsReference(f, f.pixels[0]);
}

Frame FromRows(std::string name, const std::vector<std::string>& rows) {
    Frame f{std::move(name),
            static_cast<std::int32_t>(rows.at(0).size()),
            static_cast<std::int32_t>(rows.size()),
            {}};
    for (const std::string& row : rows)
        for (char c : row)
            f.pixels.push_back(c == '#' ? kInk : c == '=' ? kFace + 1 : kFace);
    return f;
}

Frame Blank(std::string name, std::int32_t width, std::int32_t height) {
    return {std::move(name), width, height,
            std::vector<std::uint32_t>(static_cast<std::size_t>(width * height), kFace)};
}

using support::FilesIn;

TEST(RegionIdentity, ShippedFramesMatchByteForByte) {
    const std::vector<std::wstring> samples =
        FilesIn(support::SourcePath(L"assets\\sample\\frames"), {L"*.gif"});
    std::vector<std::wstring> files =
        FilesIn(support::SourcePath(L"assets\\favourites\\ぷかり"), {L"*.gif", L"*.bmp", L"*.ico"});
    files.insert(files.begin(), samples.begin(), samples.end());
    if (files.empty())
        GTEST_SKIP() << "no frame files under assets/sample/frames or assets/favourites";

    platform::ComApartment com;
    const std::uint32_t face = platform::ButtonFaceRgb();
    for (const std::wstring& path : files) {
        std::wstring error;
        auto picture = platform::DecodePicture(path, face, &error);
        ASSERT_TRUE(picture) << platform::ToUtf8(path) << ": " << platform::ToUtf8(error);
        Frame f{platform::ToUtf8(path), picture->width, picture->height,
                std::move(picture->pixels)};
        // A package frame's top-left corner is transparent, so its key is the button face.
        if (&path < files.data() + samples.size()) {
            EXPECT_EQ(f.pixels[0], face) << f.name;
        }
        EXPECT_GT(ExpectSameAsReference(f), 0u) << f.name << " has no character pixel";
    }
}

TEST(RegionIdentity, HandMadeMasksMatch) {
    const std::vector<Frame> frames = {
        FromRows("single pixel", {"...", ".#.", "..."}),
        FromRows("corner pixels", {"#..#", "....", "#..#"}),
        FromRows("hole", {"#####", "#...#", "#.#.#", "#...#", "#####"}),
        FromRows("full rows", {"....", "####", "####", "....", "####"}),
        FromRows("identical rows", {".##.#", ".##.#", ".##.#", ".##.#"}),
        FromRows("rows that differ", {"##.##", "##.##", "##...", "##.##", "##.#.", "#####"}),
        FromRows("prefix rows", {"#.#.#.#", "#.#.#..", "#.#....", "#.#.#.#"}),
        FromRows("diagonal", {"#...", ".#..", "..#.", "...#"}),
        FromRows("two colours, key at top-left", {"##.=", "#..=", "=.##"}),
        FromRows("ink everywhere", {"####", "####"}),
    };
    for (const Frame& f : frames)
        ExpectSameAsReference(f);
    // An opaque pixel of exactly the transparent colour is cut out of a solid figure.
    Frame solid =
        FromRows("key-coloured pixel inside", {".....", ".###.", ".#.#.", ".###.", "....."});
    EXPECT_EQ(ExpectSameAsReference(solid), 32u + 4 * 16);
    EXPECT_EQ(ExpectSameAsReference(Blank("one colour", 8, 8)), 0u);
}

TEST(RegionIdentity, RandomMasksMatch) {
    std::mt19937 random(20240601);
    for (int round = 0; round < 24; ++round) {
        const std::int32_t width = round < 12 ? 49 : 1 + static_cast<std::int32_t>(random() % 120);
        const std::int32_t height = round < 12 ? 64 : 1 + static_cast<std::int32_t>(random() % 90);
        Frame f = Blank("random " + std::to_string(round), width, height);
        std::bernoulli_distribution ink(0.1 + 0.8 * (round % 4) / 3.0);
        for (auto& p : f.pixels)
            p = ink(random) ? kInk + (random() % 3) : kFace;
        ExpectSameAsReference(f);
        // The same mask's blobs: rectangles of ink, so that many rows repeat their runs.
        Frame blobs = Blank("blobs " + std::to_string(round), width, height);
        for (int i = 0; i < 6; ++i) {
            const auto x0 = static_cast<std::int32_t>(random() % static_cast<unsigned>(width));
            const auto y0 = static_cast<std::int32_t>(random() % static_cast<unsigned>(height));
            const std::int32_t x1 =
                std::min(width, x0 + 1 + static_cast<std::int32_t>(random() % 20));
            const std::int32_t y1 =
                std::min(height, y0 + 1 + static_cast<std::int32_t>(random() % 20));
            for (std::int32_t y = y0; y < y1; ++y)
                for (std::int32_t x = x0; x < x1; ++x)
                    blobs.pixels[static_cast<std::size_t>(y * width + x)] = kInk;
        }
        ExpectSameAsReference(blobs, kFace);
    }
}

// The frame with every pixel made a scale × scale block.
Frame Enlarged(const Frame& f, std::int32_t scale) {
    Frame big{f.name + " x" + std::to_string(scale), f.width * scale, f.height * scale, {}};
    for (std::int32_t y = 0; y < big.height; ++y)
        for (std::int32_t x = 0; x < big.width; ++x)
            big.pixels.push_back(
                f.pixels[static_cast<std::size_t>((y / scale) * f.width + x / scale)]);
    return big;
}

// A window takes its frame's 1x data through a scaling transform at a whole-number display
// scale: the result must be exactly the region of the enlarged frame, block for block.
TEST(RegionIdentity, ScaledRegionIsTheEnlargedFramesRegion) {
    std::mt19937 random(7);
    std::vector<Frame> frames = {
        FromRows("hole", {"#####", "#...#", "#.#.#", "#...#", "#####"}),
        FromRows("diagonal", {"#...", ".#..", "..#.", "...#"}),
    };
    for (int round = 0; round < 4; ++round) {
        Frame f = Blank("random " + std::to_string(round), 49, 64);
        for (auto& p : f.pixels)
            p = random() % 3 == 0 ? kInk : kFace;
        frames.push_back(std::move(f));
    }
    for (const Frame& f : frames) {
        RegionRecord small;
        ASSERT_GT(BuildRegionData(f.pixels, f.width, f.height, kFace, small), 0u) << f.name;
        for (const std::int32_t scale : {2, 3}) {
            const Frame big = Enlarged(f, scale);
            RegionRecord expected, actual;
            expected.bytes.fill(kFill);
            actual.bytes.fill(kFill);
            ASSERT_GT(BuildRegionData(big.pixels, big.width, big.height, kFace, expected), 0u);
            const auto s = static_cast<FLOAT>(scale);
            const XFORM transform{s, 0.0f, 0.0f, s, 0.0f, 0.0f};
            const auto* header = &AsRgnData(small)->rdh;
            UniqueHrgn scaled(
                ::ExtCreateRegion(&transform, header->dwSize + header->nRgnSize, AsRgnData(small)));
            ASSERT_TRUE(scaled) << big.name;
            ASSERT_GT(::GetRegionData(scaled.get(), kRegionRecordSize, AsRgnData(actual)), 0u);
            EXPECT_TRUE(expected.bytes == actual.bytes)
                << big.name << ": first difference at " << FirstDifference(expected, actual);
        }
    }
}

// count isolated pixels, 50 to a row, on every other row and column: one rectangle each.
Frame IsolatedPixels(int count) {
    Frame f = Blank(std::to_string(count) + " rectangles", 100, 2 * ((count + 49) / 50));
    for (int i = 0; i < count; ++i)
        f.pixels[static_cast<std::size_t>((2 * (i / 50)) * f.width + 2 * (i % 50))] = kInk;
    return f;
}

TEST(RegionIdentity, RecordCapacityLimitsMatch) {
    EXPECT_EQ(ExpectSameAsReference(IsolatedPixels(3998), kFace), kRegionWarningSize);
    EXPECT_EQ(ExpectSameAsReference(IsolatedPixels(4000), kFace), kRegionRecordSize);
    EXPECT_EQ(ExpectSameAsReference(IsolatedPixels(4001), kFace), 0u);
}

// What the builder's "record untouched" rule rests on: a query into a buffer that is too small
// fails with 0 and leaves the buffer alone; without a buffer it reports the size it needs.
TEST(RegionIdentity, SystemQueryIntoTooSmallBufferWritesNothing) {
    UniqueHrgn region(::CreateRectRgn(0, 0, 2, 1));
    UniqueHrgn other(::CreateRectRgn(3, 0, 4, 1));
    ASSERT_TRUE(region && other);
    ASSERT_EQ(::CombineRgn(region.get(), other.get(), region.get(), RGN_OR), COMPLEXREGION);
    EXPECT_EQ(::GetRegionData(region.get(), 0, nullptr), 64u);
    RegionRecord record;
    record.bytes.fill(kFill);
    EXPECT_EQ(::GetRegionData(region.get(), 63, AsRgnData(record)), 0u);
    EXPECT_TRUE(std::all_of(record.bytes.begin(), record.bytes.end(),
                            [](std::uint8_t b) { return b == kFill; }));
}

}  // namespace
}  // namespace tovalin::shape

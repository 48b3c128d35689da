#include "platform/module_path.h"
#include "platform/paths.h"
#include "platform/units.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <filesystem>

namespace tovalin::platform {
namespace {

// The packer finds the player beside itself through this path.
TEST(ModulePath, NamesTheRunningProgram) {
    const std::filesystem::path self = ModulePath();
    ASSERT_FALSE(self.empty()) << "/proc/self/exe did not say where this program is";
    EXPECT_TRUE(self.is_absolute());
    EXPECT_EQ(self.filename(), "tovalin-unit-tests");
    EXPECT_TRUE(std::filesystem::is_regular_file(self));
}

TEST(Paths, JoinAddsOneSeparatorOnly) {
    EXPECT_EQ(JoinFolder(L"C:\\work", L"a.exe"), L"C:\\work\\a.exe");
    EXPECT_EQ(JoinFolder(L"C:\\", L"a.exe"), L"C:\\a.exe");
    EXPECT_EQ(JoinFolder(L"C:\\work\\", L"a.exe"), L"C:\\work\\a.exe");
}

TEST(Paths, ExePathAlwaysEndsInExe) {
    EXPECT_EQ(ComposeExePath(L"C:\\chara\\walker.exe"), L"C:\\chara\\walker.exe");
    EXPECT_EQ(ComposeExePath(L"C:\\chara\\walker.EXE"), L"C:\\chara\\walker.exe");
    EXPECT_EQ(ComposeExePath(L"C:\\chara\\walker"), L"C:\\chara\\walker.exe");
    EXPECT_EQ(ComposeExePath(L"C:\\chara\\walker.bin"), L"C:\\chara\\walker.exe");
    EXPECT_EQ(ComposeExePath(L"D:\\walker.exe"), L"D:\\walker.exe");
}

TEST(Paths, BaseNameDropsFolderAndLastExtension) {
    EXPECT_EQ(BaseName(L"C:\\x\\chara.v2.exe"), L"chara.v2");
    EXPECT_EQ(BaseName(L"chara"), L"chara");
    EXPECT_EQ(BaseName(L"C:\\x\\.hidden"), L".hidden");
    EXPECT_EQ(FolderOf(L"C:\\x\\y.exe"), L"C:\\x");
    EXPECT_EQ(FolderOf(L"C:\\y.exe"), L"C:\\");
}

TEST(Paths, TrimRemovesBlanksOnly) {
    EXPECT_EQ(TrimBlanks(std::string_view("  a b  ")), "a b");
    EXPECT_EQ(TrimBlanks(std::wstring_view(L"\t x ")), L"\t x");
    EXPECT_EQ(TrimBlanks(std::string_view("   ")), "");
}

TEST(Units, TwipsToPixelsRoundsHalvesAwayFromZero) {
    EXPECT_EQ(TwipsToPixels(22.5, 15.0), 2);  // 1.5
    EXPECT_EQ(TwipsToPixels(37.5, 15.0), 3);  // 2.5: not to the even 2
    EXPECT_EQ(TwipsToPixels(-22.5, 15.0), -2);
    EXPECT_EQ(TwipsToPixels(-37.5, 15.0), -3);
    EXPECT_EQ(TwipsToPixels(7.0, 15.0), 0);
    EXPECT_EQ(TwipsToPixels(8.0, 15.0), 1);
    EXPECT_EQ(TwipsToPixels(9616.0, 15.0), 641);
    EXPECT_EQ(TwipsToPixels(4.8, 9.6), 1);  // 150 dpi: 0.5 pixel
}

TEST(Units, WholePixelsSurviveTheRoundTrip) {
    for (double tpp : {15.0, 12.0, 9.6, 8.0, 7.5}) {
        for (int p = -3000; p <= 3000; ++p) {
            ASSERT_EQ(TwipsToPixels(PixelsToTwips(p, tpp), tpp), p) << tpp;
        }
    }
    EXPECT_EQ(PixelsToTwips(640, 15.0), 9600.0);
}

TEST(Units, OutOfRangeValuesAreClampedNotOverflowed) {
    EXPECT_EQ(TwipsToPixels(1e300, 15.0), INT_MAX);
    EXPECT_EQ(TwipsToPixels(-1e300, 15.0), INT_MIN);
    EXPECT_EQ(TwipsToPixels(15.0, 0.0), INT_MAX);
    EXPECT_EQ(TwipsToPixels(0.0, 0.0), 0);
    EXPECT_EQ(TwipsToPixels(std::nan(""), 15.0), 0);
}

}  // namespace
}  // namespace tovalin::platform

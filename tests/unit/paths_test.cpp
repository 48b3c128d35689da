#include "app/paths.h"

#include <gtest/gtest.h>

namespace tovalin::app {
namespace {

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

}  // namespace
}  // namespace tovalin::app

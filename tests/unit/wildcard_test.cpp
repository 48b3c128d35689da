#include "platform/wildcard.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tovalin::platform {
namespace {

TEST(Wildcard, MatchesExtensionsWithoutCase) {
    EXPECT_TRUE(WildcardMatch(L"*.gif", L"01.gif"));
    EXPECT_TRUE(WildcardMatch(L"*.gif", L"01.GIF"));
    EXPECT_TRUE(WildcardMatch(L"*.gif", L".gif"));
    EXPECT_FALSE(WildcardMatch(L"*.gif", L"01.gifs"));
    EXPECT_FALSE(WildcardMatch(L"*.gif", L"01.gi"));
    EXPECT_FALSE(WildcardMatch(L"*.gif", L"readme.txt"));
    EXPECT_TRUE(WildcardMatch(L"?1.*", L"01.bmp"));
    EXPECT_TRUE(WildcardMatch(L"*a*b*", L"xxaxxbxx"));
    EXPECT_FALSE(WildcardMatch(L"*a*b", L"xxaxxbxx"));
    EXPECT_TRUE(WildcardMatch(L"*.gif", L"ぷかり.gif"));
}

TEST(Wildcard, SplitsPatternLists) {
    EXPECT_EQ(SplitPatterns(L"*.ico;*.bmp;*.gif"),
              (std::vector<std::wstring>{L"*.ico", L"*.bmp", L"*.gif"}));
    EXPECT_EQ(SplitPatterns(L" *.ico ;;"), (std::vector<std::wstring>{L"*.ico"}));
    EXPECT_TRUE(SplitPatterns(L"").empty());
}

TEST(Wildcard, OrdersLikeAFileList) {
    std::vector<std::wstring> names{L"b.gif", L"A.bmp", L"a.ico", L"10.gif", L"02.gif"};
    std::sort(names.begin(), names.end(),
              [](const std::wstring& x, const std::wstring& y) { return FileListLess(x, y); });
    EXPECT_EQ(names,
              (std::vector<std::wstring>{L"02.gif", L"10.gif", L"A.bmp", L"a.ico", L"b.gif"}));
}

}  // namespace
}  // namespace tovalin::platform

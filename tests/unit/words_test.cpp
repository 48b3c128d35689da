#include "package/words.h"

#include <gtest/gtest.h>

namespace tovalin::package {
namespace {

TEST(Words, SameWordComparesTheWholeTextExactly) {
    EXPECT_TRUE(SameWord(L"跳ねる", "跳ねる"));
    EXPECT_TRUE(SameWord(L"", ""));
    EXPECT_FALSE(SameWord(L"跳ねる ", "跳ねる"));
    EXPECT_FALSE(SameWord(L"跳ね", "跳ねる"));
    EXPECT_FALSE(SameWord(L"跳ねる", "跳ね"));
    EXPECT_FALSE(SameWord(L"Still", "still"));
    // A character beyond the basic plane, and a broken UTF-8 sequence, which matches nothing.
    EXPECT_TRUE(SameWord(L"\U0001F600", "\xF0\x9F\x98\x80"));
    EXPECT_FALSE(SameWord(L"\xFFFD", "\xE8\xB7"));
    EXPECT_FALSE(SameWord(L"a", "\x80"));
}

TEST(Words, WidenRoundTripsThroughSameWord) {
    for (const auto& entry : kMoveWords)
        EXPECT_TRUE(SameWord(Widen(entry.word), entry.word)) << entry.word;
    EXPECT_EQ(Widen("中心"), L"中心");
    EXPECT_EQ(Widen("\xF0\x9F\x98\x80"), L"\U0001F600");
    EXPECT_EQ(Widen("a\x80"
                    "b"),
              L"a\xFFFD"
              L"b");
}

TEST(Words, EachTableKeepsTheMenuOrderAndItsMeaning) {
    EXPECT_EQ(IndexOfWord(kCountWords, L"5"), 2);
    EXPECT_EQ(kCountWords[2].count, 5);
    EXPECT_EQ(IndexOfWord(kLocationWords, L"中心"), 0);
    EXPECT_EQ(kLocationWords[0].caption, "中央");
    EXPECT_EQ(kLocationWords[1].placement, Placement::kRandom);
    EXPECT_EQ(IndexOfWord(kSpeedWords, std::string_view("速い")), 2);
    EXPECT_EQ(kSpeedWords[0].interval, 500u);
    EXPECT_EQ(kSpeedWords[1].interval, 250u);
    EXPECT_EQ(kSpeedWords[2].interval, 80u);
    EXPECT_EQ(IndexOfWord(kSpeedWords, L"はやい"), -1);
}

// The one lookup, for either spelling of a text, with a fallback.
TEST(Words, IndexOfWordTakesWideAndUtf8TextAndAFallback) {
    struct Case {
        std::string_view utf8;
        int expected;  // with fallback 7
    };
    const Case cases[] = {{"静止", 0},   {"跳ねる", 3},  {"窓の上", 4}, {"跳ねる ", 7},
                          {"bounce", 7}, {"windows", 7}, {"", 7}};
    for (const Case& c : cases) {
        EXPECT_EQ(IndexOfWord(kMoveWords, c.utf8, 7), c.expected) << c.utf8;
        EXPECT_EQ(IndexOfWord(kMoveWords, Widen(c.utf8), 7), c.expected) << c.utf8;
    }
}

}  // namespace
}  // namespace tovalin::package

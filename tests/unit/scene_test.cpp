#include "shape/scene.h"

#include <gtest/gtest.h>

#include <string>

namespace tovalin::shape {
namespace {

TEST(SceneSettings, KnownWordsSelectTheirItems) {
    const SceneSettings s = ResolveSceneSettings(L"5", L"跳ねる", L"乱数", L"速い");
    EXPECT_EQ(s.count, 5);
    EXPECT_EQ(s.countItem, 2);
    EXPECT_EQ(s.move, L"跳ねる");
    EXPECT_EQ(s.moveItem, 3);
    EXPECT_EQ(s.location, L"乱数");
    EXPECT_EQ(s.locationItem, 1);
    EXPECT_EQ(s.interval, 80u);
    EXPECT_EQ(s.speedItem, 2);
}

TEST(SceneSettings, UnknownWordsFallBack) {
    // "2" is not a count: one window, item "1"; a trailing blank makes a word unknown.
    const SceneSettings s = ResolveSceneSettings(L"2", L"跳ねる ", L"中央", L"");
    EXPECT_EQ(s.count, 1);
    EXPECT_EQ(s.countItem, 0);
    EXPECT_EQ(s.move, L"静止");
    EXPECT_EQ(s.moveItem, 0);
    EXPECT_EQ(s.location, L"中心");
    EXPECT_EQ(s.locationItem, 0);
    EXPECT_EQ(s.interval, 250u);
    EXPECT_EQ(s.speedItem, 1);
}

TEST(SceneSettings, SpeedsMapToIntervals) {
    EXPECT_EQ(SpeedFromWord(L"遅い").interval, 500u);
    EXPECT_EQ(SpeedFromWord(L"普通").interval, 250u);
    EXPECT_EQ(SpeedFromWord(L"速い").interval, 80u);
    EXPECT_EQ(SpeedFromWord(L"はやい").interval, 250u);
    EXPECT_EQ(SpeedFromWord(L"はやい").item, 1);
}

// The studio's preview and the player share one rule: both spellings of a word give the same.
TEST(SceneSettings, SpeedRuleIsTheSameForUtf8AndWideWords) {
    for (const std::string_view word : {"遅い", "普通", "速い", "はやい", "", "速い "}) {
        const Speed wide = SpeedFromWord(package::Widen(word));
        const Speed utf8 = SpeedFromWord(word);
        EXPECT_EQ(wide.interval, utf8.interval) << word;
        EXPECT_EQ(wide.item, utf8.item) << word;
    }
}

// A menu choice by element: the word becomes the table's, the value follows it, and an element
// the table does not have changes nothing at all.
TEST(SceneSettings, MenuElementsSelectWordAndValue) {
    struct Case {
        const char* name;
        bool (*select)(SceneSettings&, int);
        int item;
        bool taken;
        std::wstring SceneSettings::*word;
        std::wstring expectedWord;
        int SceneSettings::*checked;
    };
    const Case cases[] = {
        {"count 5", &SelectCount, 2, true, &SceneSettings::countWord, L"5",
         &SceneSettings::countItem},
        {"count -1", &SelectCount, -1, false, &SceneSettings::countWord, L"3",
         &SceneSettings::countItem},
        {"count 3 (none)", &SelectCount, 3, false, &SceneSettings::countWord, L"3",
         &SceneSettings::countItem},
        {"move bounce", &SelectMove, 3, true, &SceneSettings::move, L"跳ねる",
         &SceneSettings::moveItem},
        {"move on the windows", &SelectMove, 4, true, &SceneSettings::move, L"窓の上",
         &SceneSettings::moveItem},
        {"move 5 (none)", &SelectMove, 5, false, &SceneSettings::move, L"浮遊",
         &SceneSettings::moveItem},
        {"location centre", &SelectLocation, 0, true, &SceneSettings::location, L"中心",
         &SceneSettings::locationItem},
        {"location 2 (none)", &SelectLocation, 2, false, &SceneSettings::location, L"乱数",
         &SceneSettings::locationItem},
        {"speed slow", &SelectSpeed, 0, true, &SceneSettings::speedWord, L"遅い",
         &SceneSettings::speedItem},
        {"speed 3 (none)", &SelectSpeed, 3, false, &SceneSettings::speedWord, L"普通",
         &SceneSettings::speedItem},
    };
    for (const Case& c : cases) {
        SceneSettings s = ResolveSceneSettings(L"3", L"浮遊", L"乱数", L"普通");
        const SceneSettings before = s;
        EXPECT_EQ(c.select(s, c.item), c.taken) << c.name;
        EXPECT_EQ(s.*c.word, c.expectedWord) << c.name;
        EXPECT_EQ(s.*c.checked, c.taken ? c.item : before.*c.checked) << c.name;
    }
    // The values each element stands for come with it.
    SceneSettings s;
    ASSERT_TRUE(SelectCount(s, 2));
    EXPECT_EQ(s.count, 5);
    ASSERT_TRUE(SelectMove(s, 1));
    EXPECT_EQ(s.movement, package::Movement::kStraight);
    ASSERT_TRUE(SelectLocation(s, 1));
    EXPECT_EQ(s.placement, package::Placement::kRandom);
    ASSERT_TRUE(SelectSpeed(s, 0));
    EXPECT_EQ(s.interval, 500u);
    EXPECT_FALSE(SelectSpeed(s, 3));
    EXPECT_EQ(s.interval, 500u) << "a refused element left the interval";
}

}  // namespace
}  // namespace tovalin::shape

#include "shape/scene.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tovalin::shape

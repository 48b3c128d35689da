#include "ui/last_choices.h"
#include "ui/options.h"

#include <gtest/gtest.h>

#include <string>

namespace tovalin::ui {
namespace {

TEST(Options, TextOtherThanOneOrZeroMeansTheDefault) {
    struct Case {
        const wchar_t* text;
        bool byDefault;
        bool expected;
    };
    const Case cases[] = {
        {L"1", false, true},    {L"0", true, false}, {L"", true, true},     {L"", false, false},
        {L"yes", false, false}, {L"2", true, true},  {L" 1", false, false}, {L"01", true, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(OptionFromText(c.text, c.byDefault), c.expected) << "text [" << c.text << "]";
}

TEST(RunCommand, NamesThisCopyOnlyInQuotesOrCaseOfItsOwnPath) {
    const std::wstring here = L"C:\\Program Files\\キャラ\\chara.exe";
    EXPECT_EQ(RunCommandFor(here), L"\"C:\\Program Files\\キャラ\\chara.exe\"");
    struct Case {
        std::wstring command;
        bool startsHere;
    };
    const Case cases[] = {
        {RunCommandFor(here), true},
        {here, true},                                         // written by hand, unquoted
        {L"\"c:\\PROGRAM FILES\\キャラ\\CHARA.EXE\"", true},  // the file system ignores case
        {L" \"C:\\Program Files\\キャラ\\chara.exe\" ", true},
        {L"\"D:\\old\\chara.exe\"", false},  // another copy of the same name
        {L"\"C:\\Program Files\\キャラ\\chara.exe\" /quiet", false},
        {L"\"C:\\Program Files\\キャラ\\chara.ex\"", false},
        {L"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(RunCommandStarts(c.command, here), c.startsHere) << "[" << c.command << "]";
    EXPECT_FALSE(RunCommandStarts(L"\"\"", L"")) << "an unknown path is never this copy";
}

TEST(LastChoices, OnlySettingsWordsReplaceTheHeaders) {
    const SettingsWords header{L"3", L"静止", L"中心", L"遅い"};
    struct Case {
        const char* what;
        SettingsWords recorded;
        SettingsWords expected;
    };
    const Case cases[] = {
        {"all recorded", {L"5", L"跳ねる", L"乱数", L"速い"}, {L"5", L"跳ねる", L"乱数", L"速い"}},
        {"none recorded", {}, header},
        {"captions and hand edits", {L"2", L"はねる", L"中央", L"fast"}, header},
        {"mixed", {L"1", L"走る", L"乱数", L""}, {L"1", L"静止", L"乱数", L"遅い"}},
        {"a blank makes a word unknown",
         {L"5 ", L"浮遊", L" 乱数", L"普通"},
         {L"3", L"浮遊", L"中心", L"普通"}},
    };
    for (const Case& c : cases) {
        const SettingsWords words = WordsToStartWith(header, c.recorded);
        EXPECT_EQ(words.count, c.expected.count) << c.what;
        EXPECT_EQ(words.move, c.expected.move) << c.what;
        EXPECT_EQ(words.location, c.expected.location) << c.what;
        EXPECT_EQ(words.speed, c.expected.speed) << c.what;
    }
}

}  // namespace
}  // namespace tovalin::ui

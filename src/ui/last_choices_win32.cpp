#include "ui/last_choices_win32.h"

#include "platform/message_box_win32.h"
#include "shape/scene_win32.h"
#include "ui/commands_win32.h"
#include "ui/options_win32.h"
#include "ui/settings_win32.h"

namespace tovalin::ui {

namespace {

constexpr const wchar_t* kNotKept = L"前回の設定をファイルに保存できませんでした。";

bool Recording() {
    return OptionOn(Option::kStartWithLast);
}

std::wstring RecordedWord(Choice choice) {
    return ReadSetting(kLastSection, LastKeyOf(choice));
}

}  // namespace

void RecordLastChoice(Choice choice, const std::wstring& word) {
    if (Recording() && !WriteSetting(kLastSection, LastKeyOf(choice), word))
        platform::ShowMessage(kNotKept, platform::kAppTitle, MB_ICONWARNING);
}

bool RecordLastChoices() {
    const std::pair<Choice, const std::wstring&> inForce[] = {{Choice::kCount, shape::gCount},
                                                              {Choice::kMove, shape::gMove},
                                                              {Choice::kLocation, shape::gLocation},
                                                              {Choice::kSpeed, shape::gAnim}};
    bool kept = true;
    for (const auto& [choice, word] : inForce)
        kept = WriteSetting(kLastSection, LastKeyOf(choice), word) && kept;
    return kept;
}

void UseLastWords() {
    if (!Recording())
        return;
    const SettingsWords header{shape::gCount, shape::gMove, shape::gLocation, shape::gAnim};
    const SettingsWords recorded{RecordedWord(Choice::kCount), RecordedWord(Choice::kMove),
                                 RecordedWord(Choice::kLocation), RecordedWord(Choice::kSpeed)};
    SettingsWords words = WordsToStartWith(header, recorded);
    shape::UseSettingWords(std::move(words.count), std::move(words.move), std::move(words.location),
                           std::move(words.speed));
}

bool StartWithLastFavourite() {
    if (!Recording())
        return false;
    const std::wstring folder = ReadSetting(L"Setting", L"Folder");
    return !folder.empty() && StartWithFavourite(folder);
}

}  // namespace tovalin::ui

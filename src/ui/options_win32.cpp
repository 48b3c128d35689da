#include "ui/options_win32.h"

#include "platform/message_box_win32.h"
#include "platform/module_path.h"
#include "platform/paths.h"
#include "platform/registry_win32.h"
#include "shape/click_through_win32.h"
#include "shape/scene_win32.h"
#include "ui/last_choices_win32.h"
#include "ui/settings_win32.h"

namespace tovalin::ui {

namespace {

constexpr const wchar_t* kSection = L"Option";
constexpr const wchar_t* kRunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const wchar_t* kNotKept =
    L"設定をファイルに保存できませんでした。この設定は終了するまで有効です。";
constexpr const wchar_t* kNotRegistered =
    L"「Windows の起動時に始める」の設定を保存できませんでした。";

std::array<bool, kOptions.size()> gOn{};

std::size_t IndexOf(Option option) {
    return static_cast<std::size_t>(option);
}

void Apply(Option option, bool on) {
    gOn[IndexOf(option)] = on;
    switch (option) {
        case Option::kAllMonitors:
            shape::UseAllMonitors(on);
            break;
        case Option::kClickThrough:
            shape::UseClickThrough(on);
            break;
        case Option::kStartWithLast:
        case Option::kStartWithWindows:
            break;  // they act at the next start
    }
}

// The Run value is named after the executable, so that copies under other names each have
// their own; one that names another copy of the same name does not start this one.
std::wstring RunValueName() {
    return platform::BaseName(platform::ModulePath());
}

bool StartsWithWindows() {
    const std::optional<std::wstring> command = platform::ReadUserText(kRunKey, RunValueName());
    return command && RunCommandStarts(*command, platform::ModulePath());
}

bool KeepStartWithWindows(bool on) {
    if (on)
        return platform::WriteUserText(kRunKey, RunValueName(),
                                       RunCommandFor(platform::ModulePath()));
    return platform::DeleteUserValue(kRunKey, RunValueName());
}

// The words in force become the record as the option is turned on, so that the next start
// brings back this run's settings even when no choice follows.
bool KeepInSettingsFile(Option option, bool on) {
    bool kept = WriteSetting(kSection, EntryOf(option).key, OptionText(on));
    if (option == Option::kStartWithLast && on)
        kept = RecordLastChoices() && kept;
    return kept;
}

}  // namespace

void LoadOptions() {
    for (const OptionEntry& entry : kOptions) {
        if (entry.kept == Kept::kSettingsFile)
            Apply(entry.option, OptionFromText(ReadSetting(kSection, entry.key), entry.byDefault));
    }
}

bool OptionOn(Option option) {
    if (EntryOf(option).kept == Kept::kRunKey)
        return StartsWithWindows();
    return gOn[IndexOf(option)];
}

void ChooseOption(Option option, bool on) {
    if (EntryOf(option).kept == Kept::kRunKey) {
        if (!KeepStartWithWindows(on))
            platform::ShowMessage(kNotRegistered, platform::kAppTitle, MB_ICONWARNING);
        return;
    }
    Apply(option, on);
    if (!KeepInSettingsFile(option, on))
        platform::ShowMessage(kNotKept, platform::kAppTitle, MB_ICONWARNING);
}

}  // namespace tovalin::ui

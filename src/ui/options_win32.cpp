#include "ui/options_win32.h"

#include "platform/message_box_win32.h"
#include "shape/scene_win32.h"
#include "ui/settings_win32.h"

namespace tovalin::ui {

namespace {

constexpr const wchar_t* kSection = L"Option";
constexpr const wchar_t* kNotKept =
    L"設定をファイルに保存できませんでした。この設定は終了するまで有効です。";

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
    }
}

}  // namespace

void LoadOptions() {
    for (const OptionEntry& entry : kOptions)
        Apply(entry.option, OptionFromText(ReadSetting(kSection, entry.key), entry.byDefault));
}

bool OptionOn(Option option) {
    return gOn[IndexOf(option)];
}

void ChooseOption(Option option, bool on) {
    Apply(option, on);
    if (!WriteSetting(kSection, EntryOf(option).key, OptionText(on)))
        platform::ShowMessage(kNotKept, platform::kAppTitle, MB_ICONWARNING);
}

}  // namespace tovalin::ui

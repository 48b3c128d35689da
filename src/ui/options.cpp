#include "ui/options.h"

namespace tovalin::ui {

const OptionEntry& EntryOf(Option option) {
    for (const OptionEntry& entry : kOptions) {
        if (entry.option == option)
            return entry;
    }
    return kOptions.front();
}

bool OptionFromText(std::wstring_view text, bool byDefault) {
    if (text == L"1")
        return true;
    if (text == L"0")
        return false;
    return byDefault;
}

const wchar_t* OptionText(bool on) {
    return on ? L"1" : L"0";
}

}  // namespace tovalin::ui

#include "ui/last_choices.h"

#include "package/words.h"

namespace tovalin::ui {

namespace {

template <typename Table>
const std::wstring& KnownOr(const Table& table, const std::wstring& recorded,
                            const std::wstring& header) {
    return package::IndexOfWord(table, recorded) >= 0 ? recorded : header;
}

}  // namespace

SettingsWords WordsToStartWith(const SettingsWords& header, const SettingsWords& recorded) {
    return {KnownOr(package::kCountWords, recorded.count, header.count),
            KnownOr(package::kMoveWords, recorded.move, header.move),
            KnownOr(package::kLocationWords, recorded.location, header.location),
            KnownOr(package::kSpeedWords, recorded.speed, header.speed)};
}

}  // namespace tovalin::ui

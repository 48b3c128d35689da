#include "studio/project.h"

#include "pack/file_io.h"
#include "pack/icon.h"
#include "package/words.h"

namespace tovalin::studio {

namespace {

template <typename Table>
std::size_t IndexOrFirst(const Table& table, std::string_view word) {
    const int index = package::IndexOfWord(table, word);
    return index < 0 ? 0 : static_cast<std::size_t>(index);
}

template <typename Table>
std::vector<std::string> Words(const Table& table) {
    std::vector<std::string> words;
    for (const auto& entry : table)
        words.emplace_back(entry.word);
    return words;
}

template <typename Table>
std::string WordAt(const Table& table, std::size_t index) {
    return std::string(table[index < table.size() ? index : 0].word);
}

bool IsSeriesMark(char c) {
    return (c >= '0' && c <= '9') || c == '_' || c == '-' || c == ' ' || c == '.';
}

}  // namespace

SettingsChoice DefaultSettings() {
    const pack::CharacterSettings defaults;
    SettingsChoice choice;
    choice.count = IndexOrFirst(package::kCountWords, defaults.count);
    choice.move = IndexOrFirst(package::kMoveWords, defaults.move);
    choice.location = IndexOrFirst(package::kLocationWords, defaults.location);
    choice.speed = IndexOrFirst(package::kSpeedWords, defaults.speed);
    choice.version = defaults.version;
    choice.copyright = defaults.copyright;
    return choice;
}

std::vector<std::string> CountCaptions() {
    return Words(package::kCountWords);
}

std::vector<std::string> MoveCaptions() {
    return Words(package::kMoveWords);
}

std::vector<std::string> LocationCaptions() {
    std::vector<std::string> captions;
    for (const package::LocationWord& entry : package::kLocationWords)
        captions.emplace_back(entry.caption);
    return captions;
}

std::vector<std::string> SpeedCaptions() {
    return Words(package::kSpeedWords);
}

unsigned AnimationInterval(const SettingsChoice& choice) {
    const std::size_t i = choice.speed < package::kSpeedWords.size() ? choice.speed : 0;
    return package::kSpeedWords[i].interval;
}

std::optional<std::string> HeaderTextProblem(std::string_view text, std::string_view what) {
    try {
        pack::EncodeHeaderText(text, what);
    } catch (const pack::PackError& error) {
        return std::string(error.what());
    }
    return std::nullopt;
}

pack::Bytes Project::IconFileBytes() const {
    if (icon)
        return icon->bytes;
    if (frames.empty())
        return {};
    return pack::MakeCharacterIcon(pack::PackageFrames(frames[0].source, 1).front().picture);
}

pack::CharacterSettings Project::Words() const {
    pack::CharacterSettings words;
    words.count = WordAt(package::kCountWords, settings.count);
    words.move = WordAt(package::kMoveWords, settings.move);
    words.location = WordAt(package::kLocationWords, settings.location);
    words.speed = WordAt(package::kSpeedWords, settings.speed);
    words.version = settings.version;
    words.copyright = settings.copyright;
    return words;
}

std::vector<std::filesystem::path> Project::InputPaths() const {
    std::vector<std::filesystem::path> paths = frames.Paths();
    if (icon)
        paths.push_back(iconPath);
    return paths;
}

pack::CharacterInputs Project::Inputs(std::string output, std::string playerName,
                                      pack::Bytes player) const {
    pack::CharacterInputs inputs;
    inputs.frames = frames.Sources();
    inputs.icon = icon;
    inputs.settings = Words();
    inputs.output = std::move(output);
    inputs.playerName = std::move(playerName);
    inputs.player = std::move(player);
    return inputs;
}

std::string Project::SuggestedFileName() const {
    std::string name;
    if (icon) {
        name = pack::PathToUtf8(iconPath.stem());
    } else if (!frames.empty()) {
        name = pack::PathToUtf8(frames[0].path.stem());
        while (!name.empty() && IsSeriesMark(name.back()))
            name.pop_back();
    }
    if (name.empty())
        name = "キャラクター";
    return name + ".exe";
}

}  // namespace tovalin::studio

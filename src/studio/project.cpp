#include "studio/project.h"

#include "pack/file_io.h"
#include "pack/icon.h"
#include "package/words.h"
#include "shape/scene.h"

namespace tovalin::studio {

namespace {

template <typename Table>
std::vector<std::string> Words(const Table& table) {
    std::vector<std::string> words;
    for (const auto& entry : table)
        words.emplace_back(entry.word);
    return words;
}

// Calls `f` with each vocabulary, the choice's index into it and the header's word for it.
template <typename F>
void ForEachVocabulary(F f) {
    f(package::kCountWords, &SettingsChoice::count, &pack::CharacterSettings::count);
    f(package::kMoveWords, &SettingsChoice::move, &pack::CharacterSettings::move);
    f(package::kLocationWords, &SettingsChoice::location, &pack::CharacterSettings::location);
    f(package::kSpeedWords, &SettingsChoice::speed, &pack::CharacterSettings::speed);
}

// An index no box offers stands for the first element.
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
    ForEachVocabulary([&](const auto& table, auto index, auto word) {
        choice.*index = static_cast<std::size_t>(package::IndexOfWord(table, defaults.*word, 0));
    });
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

// What the player will do with the word the character is made with.
unsigned AnimationInterval(const SettingsChoice& choice) {
    return shape::SpeedFromWord(WordAt(package::kSpeedWords, choice.speed)).interval;
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
    ForEachVocabulary([&](const auto& table, auto index, auto word) {
        words.*word = WordAt(table, settings.*index);
    });
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

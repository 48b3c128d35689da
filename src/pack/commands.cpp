#include "pack/commands.h"

#include <algorithm>
#include <array>
#include <limits>
#include <span>
#include <utility>

#include "pack/cp932.h"
#include "pack/file_io.h"
#include "package/package.h"
#include "package/words.h"
#include "package/writer.h"

namespace tovalin::pack {

namespace fs = std::filesystem;
using package::BuildPackageHeader;
using package::FrameFileName;
using package::IconFileName;
using package::IsGifImage;
using package::IsIconFile;
using package::PackagedFile;
using package::PackageSettings;

namespace {

std::string AsciiLower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

// The header's word for a value given as the word itself or as one of its English aliases.
template <typename Table, typename Aliases>
std::optional<std::string> LookUp(std::string_view value, const Table& table, Aliases aliases) {
    const std::string lower = AsciiLower(value);
    for (const auto& entry : table) {
        if (value == entry.word)
            return std::string(entry.word);
        for (std::string_view alias : aliases(entry)) {
            if (!alias.empty() && lower == alias)
                return std::string(entry.word);
        }
    }
    return std::nullopt;
}

template <typename Entry>
std::array<std::string_view, 1> OneAlias(const Entry& entry) {
    return {entry.alias};
}

std::string Quoted(std::string_view utf8) {
    return "「" + std::string(utf8) + "」";
}

std::span<const std::uint8_t> AsBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

std::string EncodeBaseName(const fs::path& output) {
    std::string extension = AsciiLower(PathToUtf8(output.extension()));
    if (extension != ".exe") {
        throw PackError("出力ファイルの拡張子は .exe にしてください（プレイヤーは自分を " +
                        std::string("名前.exe として探します）: ") + Quoted(PathToUtf8(output)));
    }
    std::string base = PathToUtf8(output.stem());
    std::optional<std::string> bytes = Utf8ToCp932(base);
    if (!bytes) {
        throw PackError("出力ファイルの名前" + Quoted(base) +
                        "にはシフトJIS（コードページ932）で表せない文字があります。");
    }
    return *bytes;
}

void RequireSafeName(const std::string& cp932Name) {
    if (!package::IsSafePackagedName(cp932Name)) {
        throw PackError("出力ファイルの名前から作るパッケージ内の名前" +
                        Quoted(Cp932ToUtf8(cp932Name)) + "は使用できません。");
    }
}

// The player must be a bare image: a package already appended (or any data after the last
// section) would sit between the image and the new package and hide the new header.
Bytes ReadPlayer(const fs::path& path) {
    Bytes player = ReadWholeFile(path);
    std::int32_t imageEnd = package::EXESize(player);
    std::string name = Quoted(PathToUtf8(path));
    if (imageEnd <= 0)
        throw PackError("プレイヤーが実行ファイル（PE形式）ではありません: " + name);
    if (static_cast<std::uint64_t>(imageEnd) < player.size()) {
        throw PackError("プレイヤーにはすでにパッケージ（またはイメージの後のデータ）があります: " +
                        name);
    }
    if (static_cast<std::uint64_t>(imageEnd) > player.size()) {
        throw PackError("プレイヤーのファイルが途中で切れています: " + name);
    }
    return player;
}

Bytes ReadChecked(const std::string& utf8Path, bool (*isValid)(std::span<const std::uint8_t>),
                  std::string_view kind) {
    Bytes bytes = ReadWholeFile(PathFromUtf8(utf8Path));
    if (!isValid(bytes))
        throw PackError(Quoted(utf8Path) + "は" + std::string(kind) + "ではありません。");
    return bytes;
}

void RequireDistinctOutput(const fs::path& output, const CreateOptions& options) {
    std::vector<fs::path> inputs{options.player, PathFromUtf8(options.icon)};
    for (const std::string& frame : options.frames)
        inputs.push_back(PathFromUtf8(frame));
    for (const fs::path& input : inputs) {
        if (SameExistingFile(output, input)) {
            throw PackError("出力ファイルが入力ファイルと同じです: " + Quoted(PathToUtf8(output)));
        }
    }
}

PackageSettings EncodeSettings(const CreateOptions& options) {
    auto word = [](std::optional<std::string> (*lookUp)(std::string_view), const std::string& value,
                   std::string_view what) {
        std::optional<std::string> japanese = lookUp(value);
        if (!japanese)
            throw PackError(std::string(what) + "の値" + Quoted(value) + "は使えません。");
        return EncodeHeaderText(*japanese, what);
    };
    PackageSettings settings;
    settings.count = word(CountWord, options.count, "--count");
    settings.move = word(MoveWord, options.move, "--move");
    settings.location = word(LocationWord, options.location, "--location");
    settings.anim = word(SpeedWord, options.speed, "--speed");
    settings.version = EncodeHeaderText(options.version, "--version");
    settings.copyright = EncodeHeaderText(options.copyright, "--copyright");
    return settings;
}

struct ParsedPackage {
    Bytes file;
    std::int32_t imageEnd = 0;
    package::PackageHeader header;
};

ParsedPackage ReadPackage(const fs::path& executable) {
    ParsedPackage package;
    package.file = ReadWholeFile(executable);
    package.imageEnd = package::EXESize(package.file);
    std::string name = Quoted(PathToUtf8(executable));
    if (package.imageEnd <= 0)
        throw PackError("実行ファイル（PE形式）ではありません: " + name);
    if (static_cast<std::uint64_t>(package.imageEnd) >= package.file.size()) {
        throw PackError("パッケージがありません: " + name);
    }
    package.header = package::ParsePackageHeader(package.file, package.imageEnd);
    return package;
}

std::string DescribeProblem(const package::PackageProblem& problem) {
    return package::ProblemMessage(problem, Cp932ToUtf8(problem.name));
}

// The player reads what was written back with its own reader; anything it would refuse is a
// fault of this program, caught before a file is made.
void VerifyRoundTrip(std::span<const std::uint8_t> file, std::size_t expectedFiles) {
    std::int32_t imageEnd = package::EXESize(file);
    package::PackageHeader header = package::ParsePackageHeader(file, imageEnd);
    std::optional<package::PackageProblem> problem = package::CheckPackage(header, file.size());
    if (problem)
        throw PackError("内部エラー: " + DescribeProblem(*problem));
    const package::cFile& last = header.files.back();
    if (header.files.size() != expectedFiles ||
        static_cast<std::uint64_t>(last.nOffset) - 1 + static_cast<std::uint64_t>(last.nLen) !=
            file.size()) {
        throw PackError("内部エラー: 書き出したパッケージを読み戻せません。");
    }
}

}  // namespace

// A header value must survive as one line: a CR or LF would end it early.
std::string EncodeHeaderText(std::string_view utf8, std::string_view what) {
    if (utf8.find_first_of("\r\n") != std::string_view::npos) {
        throw PackError(std::string(what) + "に改行は使えません。");
    }
    std::optional<std::string> bytes = Utf8ToCp932(utf8);
    if (!bytes) {
        throw PackError(std::string(what) + Quoted(utf8) +
                        "にはシフトJIS（コードページ932）で表せない文字があります。");
    }
    return *bytes;
}

std::optional<std::string> CountWord(std::string_view word) {
    return LookUp(word, package::kCountWords,
                  [](const package::CountWord&) { return std::array<std::string_view, 0>{}; });
}

std::optional<std::string> MoveWord(std::string_view word) {
    return LookUp(word, package::kMoveWords, OneAlias<package::MoveWord>);
}

std::optional<std::string> LocationWord(std::string_view word) {
    return LookUp(word, package::kLocationWords,
                  [](const package::LocationWord& entry) { return entry.aliases; });
}

std::optional<std::string> SpeedWord(std::string_view word) {
    return LookUp(word, package::kSpeedWords, OneAlias<package::SpeedWord>);
}

std::string CreateCharacter(const CreateOptions& options) {
    if (options.output.empty())
        throw PackError("出力ファイル（-o）を指定してください。");
    if (options.icon.empty())
        throw PackError("アイコン（--icon）を指定してください。");
    if (options.frames.empty())
        throw PackError("フレームのGIFファイルを1つ以上指定してください。");
    if (options.frames.size() > static_cast<std::size_t>(package::kMaxFrames)) {
        throw PackError("フレームは最大 " + std::to_string(package::kMaxFrames) + " 枚です（" +
                        std::to_string(options.frames.size()) + " 枚指定されました）。");
    }
    fs::path output = PathFromUtf8(options.output);
    std::string base = EncodeBaseName(output);
    PackageSettings settings = EncodeSettings(options);
    RequireDistinctOutput(output, options);

    Bytes player = ReadPlayer(options.player);
    PackagedFile icon{IconFileName(base), ReadChecked(options.icon, IsIconFile, "アイコン（ICO）")};
    RequireSafeName(icon.name);
    std::vector<PackagedFile> frames;
    for (std::size_t i = 0; i < options.frames.size(); ++i) {
        frames.push_back(
            {FrameFileName(i, base), ReadChecked(options.frames[i], IsGifImage, "GIF画像")});
        RequireSafeName(frames.back().name);
    }

    std::string header = BuildPackageHeader(icon, frames, settings);
    std::uint64_t total = player.size() + header.size() + icon.bytes.size();
    for (const PackagedFile& frame : frames)
        total += frame.bytes.size();
    if (total > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
        throw PackError("出力ファイルが大きすぎます（2 GiB 未満にしてください）。");
    }

    Bytes file;
    file.reserve(static_cast<std::size_t>(total));
    auto append = [&file](std::span<const std::uint8_t> piece) {
        file.insert(file.end(), piece.begin(), piece.end());
    };
    append(player);
    append(AsBytes(header));
    append(icon.bytes);
    for (const PackagedFile& frame : frames)
        append(frame.bytes);
    VerifyRoundTrip(file, frames.size() + 1);

    std::array<std::span<const std::uint8_t>, 1> pieces{file};
    WriteFileReplacing(output, pieces);
    return PathToUtf8(output) + " を作成しました（フレーム " + std::to_string(frames.size()) +
           " 枚、" + std::to_string(file.size()) + " バイト）。";
}

std::string ListPackage(const fs::path& executable, std::string& problem) {
    ParsedPackage package = ReadPackage(executable);
    const package::PackageHeader& header = package.header;
    std::string text = "イメージの終わり: " + std::to_string(package.imageEnd) +
                       "（ファイルの長さ " + std::to_string(package.file.size()) + "）\n";
    text += "ヘッダー:\n";
    for (const std::string& line : header.lines)
        text += "  " + Cp932ToUtf8(line) + "\n";
    text += "データ領域の開始位置: " + std::to_string(header.dataStart) + "\n";
    text += "ファイル:\n";
    for (std::size_t i = 0; i < header.files.size(); ++i) {
        const package::cFile& file = header.files[i];
        text += "  " + std::to_string(i + 1) + ". " + Cp932ToUtf8(file.szFileName) + "  位置 " +
                std::to_string(file.nOffset) + "  長さ " + std::to_string(file.nLen) + "\n";
    }
    std::optional<package::PackageProblem> found =
        package::CheckPackage(header, package.file.size());
    problem = found ? DescribeProblem(*found) : std::string();
    return text;
}

std::vector<std::string> ExtractPackage(const fs::path& executable, const fs::path& folder) {
    ParsedPackage package = ReadPackage(executable);
    if (auto problem = package::CheckPackage(package.header, package.file.size())) {
        throw PackError(DescribeProblem(*problem));
    }
    std::vector<std::pair<fs::path, std::string>> targets;
    for (const package::cFile& file : package.header.files) {
        std::optional<std::string> name = Cp932ToUtf8Exact(file.szFileName);
        if (!name) {
            throw PackError("ファイル名" + Quoted(Cp932ToUtf8(file.szFileName)) +
                            "をシフトJISとして読めません。");
        }
        targets.emplace_back(folder / PathFromUtf8(*name), *name);
    }
    std::error_code error;
    fs::create_directories(folder, error);
    if (error)
        throw PackError("フォルダーを作成できません: " + Quoted(PathToUtf8(folder)));
    std::vector<std::string> written;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const package::cFile& file = package.header.files[i];
        std::span<const std::uint8_t> data(package.file.data() + (file.nOffset - 1),
                                           static_cast<std::size_t>(file.nLen));
        std::array<std::span<const std::uint8_t>, 1> pieces{data};
        WriteFileReplacing(targets[i].first, pieces);
        written.push_back(targets[i].second);
    }
    return written;
}

}  // namespace tovalin::pack

#include "pack/commands.h"

#include <array>
#include <span>
#include <utility>

#include "pack/cp932.h"
#include "pack/file_io.h"
#include "pack/picture_file.h"
#include "package/package.h"

namespace tovalin::pack {

namespace fs = std::filesystem;

namespace {

std::string Quoted(std::string_view utf8) {
    return "「" + std::string(utf8) + "」";
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

std::vector<fs::path> InputPaths(const CreateOptions& options) {
    std::vector<fs::path> inputs{options.player};
    if (!options.icon.empty())
        inputs.push_back(PathFromUtf8(options.icon));
    for (const std::string& frame : options.frames)
        inputs.push_back(PathFromUtf8(frame));
    return inputs;
}

CharacterInputs ReadInputs(const CreateOptions& options) {
    CharacterInputs inputs;
    inputs.output = options.output;
    inputs.settings = options.settings;
    inputs.playerName = PathToUtf8(options.player);
    inputs.player = ReadWholeFile(options.player);
    if (!options.icon.empty())
        inputs.icon = IconFile{options.icon, ReadWholeFile(PathFromUtf8(options.icon))};
    const DecoderSession decoder;
    for (const std::string& frame : options.frames)
        inputs.frames.push_back(ReadFrameFile(PathFromUtf8(frame)));
    return inputs;
}

}  // namespace

std::string CreateCharacter(const CreateOptions& options) {
    if (options.output.empty())
        throw PackError("出力ファイル（-o）を指定してください。");
    if (options.frames.empty())
        throw PackError("フレームの画像ファイルを1つ以上指定してください。");
    // Refused before any file is read: a folder of many pictures costs nothing.
    if (options.frames.size() > static_cast<std::size_t>(package::kMaxFrames))
        throw PackError(TooManyFramesMessage(options.frames.size()));
    const fs::path output = PathFromUtf8(options.output);
    RequireDistinctOutput(output, InputPaths(options));
    const Character character = MakeCharacter(ReadInputs(options));
    std::array<std::span<const std::uint8_t>, 1> pieces{character.file};
    WriteFileReplacing(output, pieces);
    return PathToUtf8(output) + " を作成しました（フレーム " + std::to_string(character.frames) +
           " 枚、" + std::to_string(character.file.size()) + " バイト）。";
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

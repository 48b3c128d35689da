#include "pack/character.h"

#include <array>
#include <limits>
#include <span>
#include <type_traits>

#include "pack/cp932.h"
#include "pack/gif_decoder.h"
#include "pack/gif_encoder.h"
#include "pack/icon.h"
#include "pack/palette.h"
#include "pack/pe_resources.h"
#include "package/package.h"
#include "package/words.h"
#include "package/writer.h"

namespace tovalin::pack {

namespace fs = std::filesystem;
using package::PackagedFile;
using package::PackageSettings;

namespace {

constexpr auto kMaxFrames = static_cast<std::size_t>(package::kMaxFrames);

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

std::string EncodeBaseName(std::string_view outputUtf8) {
    const fs::path output = PathFromUtf8(outputUtf8);
    if (AsciiLower(PathToUtf8(output.extension())) != ".exe") {
        throw PackError("出力ファイルの拡張子は .exe にしてください（プレイヤーは自分を " +
                        std::string("名前.exe として探します）: ") + Quoted(outputUtf8));
    }
    const std::string base = PathToUtf8(output.stem());
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
void RequireBarePlayer(std::span<const std::uint8_t> player, std::string_view nameUtf8) {
    const std::int32_t imageEnd = package::EXESize(player);
    const std::string name = Quoted(nameUtf8);
    if (imageEnd <= 0)
        throw PackError("プレイヤーが実行ファイル（PE形式）ではありません: " + name);
    if (static_cast<std::uint64_t>(imageEnd) < player.size()) {
        throw PackError("プレイヤーにはすでにパッケージ（またはイメージの後のデータ）があります: " +
                        name);
    }
    if (static_cast<std::uint64_t>(imageEnd) > player.size())
        throw PackError("プレイヤーのファイルが途中で切れています: " + name);
}

PackageSettings EncodeSettings(const CharacterSettings& values) {
    auto word = [](std::optional<std::string> (*lookUp)(std::string_view), const std::string& value,
                   std::string_view what) {
        std::optional<std::string> japanese = lookUp(value);
        if (!japanese)
            throw PackError(std::string(what) + "の値" + Quoted(value) + "は使えません。");
        return EncodeHeaderText(*japanese, what);
    };
    PackageSettings settings;
    settings.count = word(CountWord, values.count, "出現数（--count）");
    settings.move = word(MoveWord, values.move, "動き（--move）");
    settings.location = word(LocationWord, values.location, "出現位置（--location）");
    settings.anim = word(SpeedWord, values.speed, "動作速度（--speed）");
    settings.version = EncodeHeaderText(values.version, "版");
    settings.copyright = EncodeHeaderText(values.copyright, "著作権");
    return settings;
}

// The icon must be one the player's reader recognises and the resource writer can take apart.
Bytes CheckedIcon(const IconFile& icon) {
    if (!package::IsIconFile(icon.bytes))
        throw PackError(Quoted(icon.name) + "はアイコン（ICO）ではありません。");
    try {
        ReadIco(icon.bytes);
    } catch (const PackError& error) {
        throw PackError(Quoted(icon.name) + ": " + error.what());
    }
    return icon.bytes;
}

Bytes ConvertPicture(const RgbaImage& picture) {
    return EncodeGif(ToIndexed(picture));
}

const std::string& NameOf(const FrameSource& source) {
    return std::visit([](const auto& s) -> const std::string& { return s.name; }, source);
}

[[noreturn]] void RefuseLimitReachedIn(std::string_view name) {
    throw PackError("フレームは最大 " + std::to_string(kMaxFrames) + " 枚です。" + Quoted(name) +
                    "の画像を加えると越えます（GIFアニメーションは1コマを1枚と数えます）。");
}

std::vector<PackagedFrame> GifFrames(const GifFile& gif, std::size_t room) {
    GifLimits limits;
    limits.maxFrames = room;
    GifAnimation animation;
    try {
        animation = DecodeGif(gif.bytes, limits);
    } catch (const TooManyGifFrames&) {
        RefuseLimitReachedIn(gif.name);
    } catch (const PackError& error) {
        throw PackError(Quoted(gif.name) + ": " + error.what());
    }
    std::vector<PackagedFrame> frames;
    if (animation.frames.size() == 1) {
        frames.push_back({gif.bytes, std::move(animation.frames.front().image)});
        return frames;
    }
    for (GifFrame& frame : animation.frames)
        frames.push_back({ConvertPicture(frame.image), std::move(frame.image)});
    return frames;
}

std::vector<PackagedFrame> PictureFrames(const PictureFrame& frame, std::size_t room) {
    if (room == 0)
        RefuseLimitReachedIn(frame.name);
    std::vector<PackagedFrame> frames;
    try {
        frames.push_back({ConvertPicture(frame.picture), frame.picture});
    } catch (const PackError& error) {
        throw PackError(Quoted(frame.name) + ": " + error.what());
    }
    return frames;
}

// The player reads what was written back with its own reader; anything it would refuse is a
// fault of this program, caught before a file is made.
void VerifyRoundTrip(std::span<const std::uint8_t> file, std::size_t expectedFiles) {
    const std::int32_t imageEnd = package::EXESize(file);
    const package::PackageHeader header = package::ParsePackageHeader(file, imageEnd);
    if (std::optional<package::PackageProblem> problem =
            package::CheckPackage(header, file.size())) {
        throw PackError("内部エラー: " +
                        package::ProblemMessage(*problem, Cp932ToUtf8(problem->name)));
    }
    const package::cFile& last = header.files.back();
    if (header.files.size() != expectedFiles ||
        static_cast<std::uint64_t>(last.nOffset) - 1 + static_cast<std::uint64_t>(last.nLen) !=
            file.size()) {
        throw PackError("内部エラー: 書き出したパッケージを読み戻せません。");
    }
}

Bytes Assemble(const Bytes& image, const std::string& header, const PackagedFile& icon,
               const std::vector<PackagedFile>& frames) {
    std::uint64_t total = image.size() + header.size() + icon.bytes.size();
    for (const PackagedFile& frame : frames)
        total += frame.bytes.size();
    if (total > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
        throw PackError("出力ファイルが大きすぎます（2 GiB 未満にしてください）。");
    Bytes file;
    file.reserve(static_cast<std::size_t>(total));
    auto append = [&file](std::span<const std::uint8_t> piece) {
        file.insert(file.end(), piece.begin(), piece.end());
    };
    append(image);
    append(AsBytes(header));
    append(icon.bytes);
    for (const PackagedFile& frame : frames)
        append(frame.bytes);
    return file;
}

}  // namespace

std::string TooManyFramesMessage(std::size_t wanted) {
    return "フレームは最大 " + std::to_string(kMaxFrames) + " 枚です（" + std::to_string(wanted) +
           " 枚指定されました）。";
}

// A header value must survive as one line: a CR or LF would end it early.
std::string EncodeHeaderText(std::string_view utf8, std::string_view what) {
    if (utf8.find_first_of("\r\n") != std::string_view::npos)
        throw PackError(std::string(what) + "に改行は使えません。");
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

std::vector<PackagedFrame> PackageFrames(const FrameSource& source, std::size_t room) {
    if (const auto* gif = std::get_if<GifFile>(&source))
        return GifFrames(*gif, room);
    return PictureFrames(std::get<PictureFrame>(source), room);
}

Character MakeCharacter(const CharacterInputs& inputs) {
    if (inputs.frames.empty())
        throw PackError("フレームの画像を1つ以上指定してください。");
    if (inputs.frames.size() > kMaxFrames)
        throw PackError(TooManyFramesMessage(inputs.frames.size()));
    const std::string base = EncodeBaseName(inputs.output);
    const PackageSettings settings = EncodeSettings(inputs.settings);
    RequireBarePlayer(inputs.player, inputs.playerName);

    std::vector<PackagedFile> frames;
    RgbaImage first;
    std::uint64_t pixels = 0;
    for (const FrameSource& source : inputs.frames) {
        for (PackagedFrame& made : PackageFrames(source, kMaxFrames - frames.size())) {
            pixels += static_cast<std::uint64_t>(made.picture.width) *
                      static_cast<std::uint64_t>(made.picture.height);
            if (pixels > kMaxCharacterPixels) {
                throw PackError("フレームの画素が多すぎます（全フレームで " +
                                std::to_string(kMaxCharacterPixels) +
                                " ピクセルまで）: " + Quoted(NameOf(source)));
            }
            if (frames.empty())
                first = std::move(made.picture);
            frames.push_back({package::FrameFileName(frames.size(), base), std::move(made.gif)});
            RequireSafeName(frames.back().name);
        }
    }

    const PackagedFile icon{package::IconFileName(base),
                            inputs.icon ? CheckedIcon(*inputs.icon) : MakeCharacterIcon(first)};
    RequireSafeName(icon.name);
    Bytes image;
    try {
        image = ReplaceIconResources(inputs.player, icon.bytes);
    } catch (const PackError& error) {
        throw PackError("プレイヤー" + Quoted(inputs.playerName) +
                        "にアイコンを入れられません: " + error.what());
    }
    const std::string header = package::BuildPackageHeader(icon, frames, settings);
    Bytes file = Assemble(image, header, icon, frames);
    VerifyRoundTrip(file, frames.size() + 1);
    return {std::move(file), frames.size()};
}

}  // namespace tovalin::pack

#include "pack/cli.h"

#include <exception>
#include <functional>
#include <map>
#include <optional>

#include "pack/commands.h"
#include "tovalin_version.h"
#include "pack/file_io.h"
#include "pack/picture_file.h"

namespace tovalin::pack {

namespace {

constexpr std::string_view kProgram = "tovalin-pack";
constexpr std::string_view kVersion = TOVALIN_VERSION_TEXT;

constexpr std::string_view kUsage =
    "使い方:\n"
    "  tovalin-pack create -o 名前.exe [--icon アイコン.ico] フレーム画像... [オプション]\n"
    "  tovalin-pack list 名前.exe\n"
    "  tovalin-pack extract 名前.exe フォルダー\n"
    "  tovalin-pack --help | --version\n"
    "\n"
    "create  プレイヤーにアイコンとフレームのパッケージを付けた単体EXEを作ります。\n"
    "        フレームは指定した順に表示され、全部で 1〜51 枚です（GIFアニメーションは\n"
    "        1コマを1枚と数えます）。\n"
    "        1枚だけのGIFはそのまま入り、ほかの画像（GIFアニメーションの各コマ、PNG、\n"
    "        BMP、ICO）は256色以下と透明色1つのGIFにして入ります。PNGでは不透明度が\n"
    "        半分未満の画素が透明になり、BMPでは左上の色が抜かれます。\n"
    "        @FRAMES@"
    "  -o, --output FILE        作るEXE（拡張子 .exe）。名前がパッケージ内の\n"
    "                           ファイル名（名前.ico、01_名前.gif …）になります\n"
    "  --icon FILE              アイコン（.ico）。省略すると1枚目のフレームから\n"
    "                           16・32・48 ピクセルのアイコンを作ります。\n"
    "                           EXEのアイコン（エクスプローラーの表示）にもなります\n"
    "  --count 1|3|5            出現数（既定 1）\n"
    "  --move 静止|直線|浮遊|跳ねる|窓の上\n"
    "                           動き（still|straight|float|bounce|windows、既定 静止）\n"
    "  --location 中心|乱数     出現位置（centre|center|random、既定 中心）\n"
    "  --speed 遅い|普通|速い   動作速度（slow|normal|fast、既定 普通）\n"
    "  --version TEXT           版（既定 \"Ver 1.00\"）\n"
    "  --copyright TEXT         著作権（既定 空）\n"
    "  --player FILE            元にするプレイヤー（既定 このプログラムと同じ\n"
    "                           フォルダーの tovalin-player.exe）\n"
    "list    単体EXEのパッケージの内容（ヘッダーの行、各ファイルの位置と長さ）を表示します。\n"
    "extract 単体EXEのパッケージのファイルをフォルダーに書き出します。\n";

// What this build reads as frames: PNG, BMP and ICO need the system's decoder.
constexpr std::string_view kAllFrames = "フレーム画像は GIF・PNG・BMP・ICO です。\n";
constexpr std::string_view kGifFrames =
    "この tovalin-pack が読めるフレーム画像は GIF だけです（PNG・BMP・ICO は\n"
    "        Windows 版の tovalin-pack と tovalin-studio で使えます）。\n";

std::string Usage() {
    std::string usage(kUsage);
    const std::string_view frames = HostDecodesStillPictures() ? kAllFrames : kGifFrames;
    usage.replace(usage.find("@FRAMES@"), 8, frames);
    return usage;
}

[[noreturn]] void UsageError(const std::string& message) {
    throw PackError(message + "\n（tovalin-pack --help で使い方を表示します）");
}

CreateOptions ParseCreate(const std::vector<std::string>& args,
                          const std::filesystem::path& defaultPlayer, bool& help) {
    CreateOptions options;
    std::optional<std::string> player;
    const std::map<std::string, std::string*, std::less<>> valued{
        {"-o", &options.output},
        {"--output", &options.output},
        {"--icon", &options.icon},
        {"--count", &options.settings.count},
        {"--move", &options.settings.move},
        {"--location", &options.settings.location},
        {"--speed", &options.settings.speed},
        {"--version", &options.settings.version},
        {"--copyright", &options.settings.copyright},
    };
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            options.frames.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            help = true;
            continue;
        }
        std::string name = arg;
        std::optional<std::string> value;
        if (std::size_t equals = arg.find('='); arg.starts_with("--") && equals != arg.npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
        }
        std::string* target = nullptr;
        if (auto found = valued.find(name); found != valued.end())
            target = found->second;
        if (!target && name != "--player")
            UsageError("不明なオプションです: " + arg);
        if (!value) {
            if (i + 1 >= args.size())
                UsageError(name + " には値が必要です。");
            value = args[++i];
        }
        if (target) {
            *target = *value;
        } else {
            player = *value;
        }
    }
    options.player = player ? PathFromUtf8(*player) : defaultPlayer;
    return options;
}

CommandResult Dispatch(const std::vector<std::string>& args,
                       const std::filesystem::path& defaultPlayer) {
    if (args.empty())
        UsageError("コマンドを指定してください。");
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help")
        return {0, Usage(), {}};
    if (command == "--version") {
        return {0, std::string(kProgram) + " " + std::string(kVersion) + "\n", {}};
    }
    if (command == "create") {
        bool help = false;
        CreateOptions options = ParseCreate(args, defaultPlayer, help);
        if (help)
            return {0, Usage(), {}};
        return {0, CreateCharacter(options) + "\n", {}};
    }
    if (command == "list") {
        if (args.size() != 2)
            UsageError("list には単体EXEを1つ指定してください。");
        std::string problem;
        std::string text = ListPackage(PathFromUtf8(args[1]), problem);
        if (problem.empty())
            return {0, text, {}};
        return {1, text, std::string(kProgram) + ": " + problem + "\n"};
    }
    if (command == "extract") {
        if (args.size() != 3)
            UsageError("extract には単体EXEとフォルダーを指定してください。");
        std::string text;
        for (const std::string& name :
             ExtractPackage(PathFromUtf8(args[1]), PathFromUtf8(args[2]))) {
            text += name + "\n";
        }
        return {0, text, {}};
    }
    UsageError("不明なコマンドです: " + command);
}

}  // namespace

CommandResult RunPacker(const std::vector<std::string>& arguments,
                        const std::filesystem::path& defaultPlayer) {
    try {
        return Dispatch(arguments, defaultPlayer);
    } catch (const PackError& error) {
        return {2, {}, std::string(kProgram) + ": " + error.what() + "\n"};
    } catch (const std::exception& error) {
        return {2, {}, std::string(kProgram) + ": 予期しないエラー: " + error.what() + "\n"};
    }
}

}  // namespace tovalin::pack

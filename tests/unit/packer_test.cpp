#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "package/package.h"
#include "pack/cli.h"
#include "pack/commands.h"
#include "pack/cp932.h"
#include "pack/file_io.h"
#include "pack/gif_encoder.h"
#include "pack/icon.h"
#include "pack/pe_resources.h"
#include "package/writer.h"
#include "pe_builder.h"

namespace tovalin::pack {
namespace {

namespace fs = std::filesystem;
using package::IsGifImage;
using package::IsIconFile;

// Code page 932 spellings of the settings words.
constexpr std::string_view kStill = "\x90\xC3\x8E\x7E";           // 静止
constexpr std::string_view kBounce = "\x92\xB5\x82\xCB\x82\xE9";  // 跳ねる
constexpr std::string_view kCentre = "\x92\x86\x90\x53";          // 中心
constexpr std::string_view kRandom = "\x97\x90\x90\x94";          // 乱数
constexpr std::string_view kNormal = "\x95\x81\x92\xCA";          // 普通
constexpr std::string_view kFast = "\x91\xAC\x82\xA2";            // 速い
constexpr std::string_view kChara = "\x83\x4C\x83\x83\x83\x89";   // キャラ

void Put(Bytes& bytes, std::size_t offset, std::uint32_t value, int width) {
    for (int i = 0; i < width; ++i) {
        bytes[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// A bare image as the linker leaves the player: code, then its resources (a manifest) as the
// last section, ending at the end of the file.
Bytes MakePlayer() {
    Bytes code(0x180);
    for (std::size_t i = 0; i < code.size(); ++i)
        code[i] = static_cast<std::uint8_t>(i);
    const std::vector<Resource> resources{{std::uint16_t{24}, std::uint16_t{1},
                                           std::uint16_t{0x409}, 0, fake_pe::Text("<assembly/>")}};
    return fake_pe::MakeImage(
        false, {{".text", code, 0x60000020}, {".rsrc", fake_pe::ResourceTree(resources, 0x2000)}},
        1);
}

// A one-image GIF as a drawing program writes it (here: the packer's own writer); seeds give
// different pictures and sizes.
Bytes MakeGif(std::uint8_t seed) {
    IndexedImage image;
    image.width = 4 + seed;
    image.height = 5;
    image.palette = {{0, 0, 0}, {255, static_cast<std::uint8_t>(seed * 40), 0}};
    for (std::int32_t y = 0; y < image.height; ++y) {
        for (std::int32_t x = 0; x < image.width; ++x)
            image.indices.push_back(x > 0 && (x + y + seed) % 3 != 0 ? 1 : 0);
    }
    image.transparentIndex = 0;
    return EncodeGif(image);
}

// An icon of one 32 x 32 picture, as drawing programs write them.
Bytes MakeIcon() {
    RgbaImage picture = MakeRgbaImage(32, 32, Rgba{20, 90, 200, 255});
    picture.At(0, 0) = Rgba{};
    const std::vector<RgbaImage> pictures{picture};
    return WriteIco(pictures);
}

// The player as the packer leaves it for the character's icon.
Bytes PlayerWithIcon(const Bytes& icon) {
    return ReplaceIconResources(MakePlayer(), icon);
}

std::string AsText(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

class PackerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        dir_ = fs::temp_directory_path() / ("tovalin-pack-test-" + std::to_string(random()));
        fs::create_directories(dir_);
        Write("player.exe", MakePlayer());
        Write("chara.ico", MakeIcon());
        for (int i = 0; i < 3; ++i) {
            Write("f" + std::to_string(i) + ".gif", MakeGif(static_cast<std::uint8_t>(i)));
        }
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    std::string Path(const std::string& name) const {
        return PathToUtf8(dir_ / PathFromUtf8(name));
    }
    void Write(const std::string& name, const Bytes& bytes) const {
        std::ofstream stream(dir_ / PathFromUtf8(name), std::ios::binary);
        stream.write(reinterpret_cast<const char*>(bytes.data()),
                     static_cast<std::streamsize>(bytes.size()));
    }
    Bytes Read(const std::string& name) const { return ReadWholeFile(dir_ / PathFromUtf8(name)); }
    std::set<std::string> Listing() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            names.insert(PathToUtf8(entry.path().filename()));
        }
        return names;
    }

    // create with the three frames and the given extra arguments.
    CommandResult Create(const std::string& output, std::vector<std::string> extra = {}) const {
        std::vector<std::string> args{
            "create",          "-o",           Path(output),   "--icon",
            Path("chara.ico"), Path("f0.gif"), Path("f1.gif"), Path("f2.gif")};
        args.insert(args.end(), extra.begin(), extra.end());
        return RunPacker(args, dir_ / "player.exe");
    }

    fs::path dir_;
};

// ---- create --------------------------------------------------------------------------------

TEST_F(PackerTest, CreateWritesThePlayerThenTheExactHeaderThenTheFiles) {
    CommandResult result = RunPacker({"create", "--output=" + Path("walker.exe"), "--icon",
                                      Path("chara.ico"), Path("f0.gif"), "--copyright", "(C) me"},
                                     dir_ / "player.exe");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(result.err.empty());
    Bytes icon = MakeIcon();
    Bytes player = PlayerWithIcon(icon);
    Bytes frame = MakeGif(0);
    std::string body = "VER100\r\nICOwalker.ico\r\nSIZ" + std::to_string(icon.size()) +
                       "\r\nFIL01_walker.gif\r\nSIZ" + std::to_string(frame.size()) +
                       "\r\nCHA1\r\n" + "MOV" + std::string(kStill) + "\r\nLOC" +
                       std::string(kCentre) + "\r\nANI" + std::string(kNormal) +
                       "\r\nUVRVer 1.00\r\nCPY(C) me\r\n";
    std::string expected =
        AsText(player) + std::to_string(body.size()) + "\r\n" + body + AsText(icon) + AsText(frame);
    EXPECT_EQ(AsText(Read("walker.exe")), expected);
}

TEST_F(PackerTest, RoundTripThroughTheReaderKeepsEveryByte) {
    CommandResult result =
        Create("キャラ.exe", {"--move", "bounce", "--location", "random", "--speed", "FAST",
                              "--count", "5", "--version", "第2版", "--copyright", "ＡＢＣ～"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    Bytes file = Read("キャラ.exe");
    Bytes player = PlayerWithIcon(MakeIcon());
    std::int32_t imageEnd = package::EXESize(file);
    EXPECT_EQ(imageEnd, static_cast<std::int32_t>(player.size()));
    EXPECT_TRUE(std::equal(player.begin(), player.end(), file.begin()));

    package::PackageHeader header = package::ParsePackageHeader(file, imageEnd);
    EXPECT_FALSE(package::CheckPackage(header, file.size()));
    ASSERT_EQ(header.files.size(), 4u);
    std::vector<Bytes> inputs{MakeIcon(), MakeGif(0), MakeGif(1), MakeGif(2)};
    std::vector<std::string> names{
        std::string(kChara) + ".ico", "01_" + std::string(kChara) + ".gif",
        "02_" + std::string(kChara) + ".gif", "03_" + std::string(kChara) + ".gif"};
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const package::cFile& record = header.files[i];
        EXPECT_EQ(record.szFileName, names[i]);
        ASSERT_EQ(static_cast<std::size_t>(record.nLen), inputs[i].size());
        Bytes packaged(file.begin() + (record.nOffset - 1),
                       file.begin() + (record.nOffset - 1 + record.nLen));
        EXPECT_EQ(packaged, inputs[i]) << "record " << i + 1;
    }
    const package::cFile& last = header.files.back();
    EXPECT_EQ(static_cast<std::size_t>(last.nOffset - 1 + last.nLen), file.size());
    EXPECT_EQ(header.gCount, "5");
    EXPECT_EQ(header.gMove, kBounce);
    EXPECT_EQ(header.gLocation, kRandom);
    EXPECT_EQ(header.gAnim, kFast);
    EXPECT_EQ(header.gVersion, "\x91\xE6\x32\x94\xC5");                // 第2版
    EXPECT_EQ(header.gCopyright, "\x82\x60\x82\x61\x82\x62\x81\x60");  // ＡＢＣ～
}

TEST_F(PackerTest, BothRealPlayersCarryTheSamePackageRightAfterTheirImage) {
    std::vector<Bytes> packages;
    for (const char* build : {"mingw", "mingw64"}) {
        const fs::path player =
            fs::path(TOVALIN_SOURCE_DIR) / "build" / build / "tovalin-player.exe";
        if (!fs::exists(player))
            GTEST_SKIP() << player << " not built";
        const Bytes bare = ReadWholeFile(player);
        Write("player.exe", bare);
        const Bytes image = ReplaceIconResources(bare, MakeIcon());
        CommandResult result = Create("chara.exe", {"--count", "3"});
        ASSERT_EQ(result.exitCode, 0) << build << ": " << result.err;
        const Bytes file = Read("chara.exe");
        ASSERT_EQ(package::EXESize(file), static_cast<std::int32_t>(image.size())) << build;
        ASSERT_TRUE(std::equal(image.begin(), image.end(), file.begin())) << build;
        const package::PackageHeader header =
            package::ParsePackageHeader(file, package::EXESize(file));
        EXPECT_FALSE(package::CheckPackage(header, file.size())) << build;
        EXPECT_EQ(header.files.size(), 4u) << build;
        packages.emplace_back(file.begin() + static_cast<std::ptrdiff_t>(image.size()), file.end());
    }
    EXPECT_EQ(packages[0], packages[1]);
}

TEST_F(PackerTest, ReplacesAnExistingOutputAndLeavesNoTemporaryFile) {
    Write("out.exe", Bytes{'o', 'l', 'd'});
    ASSERT_EQ(Create("out.exe").exitCode, 0);
    EXPECT_GT(Read("out.exe").size(), MakePlayer().size());
    std::set<std::string> expected{"player.exe", "chara.ico", "f0.gif",
                                   "f1.gif",     "f2.gif",    "out.exe"};
    EXPECT_EQ(Listing(), expected);
}

TEST_F(PackerTest, RefusalsLeaveNoOutputFile) {
    Write("notgif.gif", Bytes{'G', 'I', 'F', '9', '0', 'a', 0, 0});
    Bytes cursor = MakeIcon();
    cursor[2] = 2;
    Write("cursor.ico", cursor);
    Bytes emptyIcon = MakeIcon();
    emptyIcon[4] = 0;
    Write("empty.ico", emptyIcon);
    Bytes cutIcon = MakeIcon();
    cutIcon.resize(40);
    Write("cut.ico", cutIcon);
    Write("text.exe", Bytes{'h', 'e', 'l', 'l', 'o'});
    ASSERT_EQ(Create("packaged.exe").exitCode, 0);

    std::string icon = Path("chara.ico");
    std::string frame = Path("f0.gif");
    std::string player = Path("player.exe");
    std::vector<std::string> tooMany{"create", "-o", Path("out.exe"), "--icon", icon};
    for (std::size_t i = 0; i < static_cast<std::size_t>(package::kMaxFrames) + 1; ++i)
        tooMany.push_back(frame);
    std::vector<std::string> fullHouse = tooMany;
    fullHouse.pop_back();
    ASSERT_EQ(RunPacker(fullHouse, dir_ / "player.exe").exitCode, 0);  // 51 frames are fine
    fs::remove(dir_ / "out.exe");

    std::vector<std::vector<std::string>> refused{
        {"create", "-o", Path("out.exe"), "--icon", Path("missing.ico"), frame},
        {"create", "-o", Path("out.exe"), "--icon", icon, Path("missing.gif")},
        {"create", "-o", Path("out.exe"), "--icon", icon, frame, Path("notgif.gif")},
        {"create", "-o", Path("out.exe"), "--icon", icon, frame, Path("")},
        {"create", "-o", Path("out.exe"), "--icon", Path("cursor.ico"), frame},
        {"create", "-o", Path("out.exe"), "--icon", Path("empty.ico"), frame},
        {"create", "-o", Path("out.exe"), "--icon", Path("cut.ico"), frame},
        {"create", "-o", Path("out.exe"), "--icon", frame, frame},
        {"create", "-o", Path("out.exe"), "--icon", icon},
        tooMany,
        {"create", "--icon", icon, frame},
        {"create", "-o", Path("out.exe"), "--icon", icon, frame, "--copyright", "© 2024"},
        {"create", "-o", Path("out.exe"), "--icon", icon, frame, "--version", "a\r\nCHA5"},
        {"create", "-o", Path("out.exe"), "--icon", icon, frame, "--version", "a\nb"},
        {"create", "-o", Path("out.exe"), "--icon", icon, frame, "--player", Path("packaged.exe")},
        {"create", "-o", Path("out.exe"), "--icon", icon, frame, "--player", Path("text.exe")},
        {"create", "-o", Path("out.exe"), "--icon", icon, frame, "--player", Path("none.exe")},
        {"create", "-o", Path("out.exe"), "--icon", icon, frame, "--move", "jump"},
        {"create", "-o", Path("out.exe"), "--icon", icon, frame, "--count", "2"},
        {"create", "-o", Path("out.exe"), "--icon", icon, frame, "--location", "中央"},
        {"create", "-o", Path("out.exe"), "--icon", icon, frame, "--move", "静止 "},
        {"create", "-o", Path("out.exe"), "--icon", icon, frame, "--speed"},
        {"create", "-o", Path("out.exe"), "--icon", icon, frame, "--colour", "red"},
        {"create", "-o", Path("out"), "--icon", icon, frame},
        {"create", "-o", Path("out.gif"), "--icon", icon, frame},
        {"create", "-o", Path("CON.exe"), "--icon", icon, frame},
        {"create", "-o", Path("a:b.exe"), "--icon", icon, frame},
        {"create", "-o", Path("tab\t.exe"), "--icon", icon, frame},
        {"create", "-o", Path("😀.exe"), "--icon", icon, frame},
        {"frobnicate"},
        {},
    };
    std::set<std::string> before = Listing();
    for (const std::vector<std::string>& args : refused) {
        CommandResult result = RunPacker(args, dir_ / "player.exe");
        std::string shown;
        for (const std::string& arg : args)
            shown += arg.substr(0, 40) + " ";
        EXPECT_NE(result.exitCode, 0) << shown;
        EXPECT_TRUE(result.err.starts_with("tovalin-pack: ")) << shown;
        EXPECT_EQ(Listing(), before) << shown;
    }

    // The output may not be one of the inputs, even under another spelling.
    Bytes originalPlayer = Read("player.exe");
    for (const std::string& target : {player, dir_.string() + "/./player.exe", frame, icon}) {
        std::vector<std::string> args{"create", "-o", target, "--icon", icon, frame};
        EXPECT_NE(RunPacker(args, dir_ / "player.exe").exitCode, 0) << target;
    }
    EXPECT_EQ(Read("player.exe"), originalPlayer);
    EXPECT_EQ(Read("f0.gif"), MakeGif(0));
    EXPECT_EQ(Listing(), before);
}

TEST_F(PackerTest, FailedCreateKeepsThePreviousOutput) {
    Write("keep.exe", Bytes{'k', 'e', 'e', 'p'});
    Write("bad.gif", Bytes{'P', 'N', 'G'});
    std::vector<std::string> args{"create",          "-o",           Path("keep.exe"), "--icon",
                                  Path("chara.ico"), Path("bad.gif")};
    EXPECT_NE(RunPacker(args, dir_ / "player.exe").exitCode, 0);
    EXPECT_EQ(Read("keep.exe"), (Bytes{'k', 'e', 'e', 'p'}));
}

// ---- list and extract ----------------------------------------------------------------------

TEST_F(PackerTest, ListShowsImageEndHeaderLinesAndRecords) {
    ASSERT_EQ(Create("キャラ.exe", {"--move", "straight"}).exitCode, 0);
    CommandResult result = RunPacker({"list", Path("キャラ.exe")}, {});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::size_t imageEnd = PlayerWithIcon(MakeIcon()).size();
    EXPECT_NE(result.out.find(std::to_string(imageEnd)), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("  MOV直線\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("  VER100\n"), std::string::npos);
    std::string icon = "キャラ.ico  位置 ";
    EXPECT_NE(result.out.find(icon), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("03_キャラ.gif"), std::string::npos);

    EXPECT_NE(RunPacker({"list", Path("player.exe")}, {}).exitCode, 0);
    EXPECT_NE(RunPacker({"list", Path("f0.gif")}, {}).exitCode, 0);
    EXPECT_NE(RunPacker({"list"}, {}).exitCode, 0);
}

// The fifth movement goes into the header by its word, whichever spelling the user typed.
TEST_F(PackerTest, TheWindowsMovementIsWrittenAsItsWord) {
    for (const char* spelling : {"窓の上", "windows", "WINDOWS"}) {
        ASSERT_EQ(Create("キャラ.exe", {"--move", spelling}).exitCode, 0) << spelling;
        const CommandResult result = RunPacker({"list", Path("キャラ.exe")}, {});
        EXPECT_NE(result.out.find("  MOV窓の上\n"), std::string::npos) << spelling << result.out;
    }
    EXPECT_NE(Create("キャラ.exe", {"--move", "窓"}).exitCode, 0);
}

TEST_F(PackerTest, ExtractWritesEveryPackagedFile) {
    ASSERT_EQ(Create("キャラ.exe").exitCode, 0);
    CommandResult result = RunPacker({"extract", Path("キャラ.exe"), Path("out/sub")}, {});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(Read("out/sub/キャラ.ico"), MakeIcon());
    EXPECT_EQ(Read("out/sub/01_キャラ.gif"), MakeGif(0));
    EXPECT_EQ(Read("out/sub/02_キャラ.gif"), MakeGif(1));
    EXPECT_EQ(Read("out/sub/03_キャラ.gif"), MakeGif(2));
    EXPECT_EQ(result.out, "キャラ.ico\n01_キャラ.gif\n02_キャラ.gif\n03_キャラ.gif\n");
}

// A package written by hand (not by this packer) that tries to climb out of the folder.
TEST_F(PackerTest, ExtractAndListRefuseUnsafePackages) {
    std::string body = "VER100\r\nICOa.ico\r\nSIZ2\r\nFIL..\\evil.gif\r\nSIZ2\r\n";
    std::string package = std::to_string(body.size()) + "\r\n" + body;
    Bytes file = MakePlayer();
    file.insert(file.end(), package.begin(), package.end());
    file.insert(file.end(), {0, 0, 'G', 'I'});
    Write("evil.exe", file);

    CommandResult extract = RunPacker({"extract", Path("evil.exe"), Path("out")}, {});
    EXPECT_NE(extract.exitCode, 0);
    EXPECT_NE(extract.err.find("「..\\evil.gif」"), std::string::npos) << extract.err;
    EXPECT_FALSE(fs::exists(dir_ / "out"));
    EXPECT_FALSE(fs::exists(dir_ / "evil.gif"));

    CommandResult list = RunPacker({"list", Path("evil.exe")}, {});
    EXPECT_EQ(list.exitCode, 1);
    EXPECT_NE(list.out.find("..\\evil.gif"), std::string::npos);
    EXPECT_NE(list.err.find("使用できません"), std::string::npos) << list.err;
}

// ---- the executable itself -----------------------------------------------------------------

struct ExeRun {
    int exitCode;
    std::string out;
    std::string err;
};

ExeRun RunPackExe(const fs::path& dir, const std::string& arguments) {
    fs::path out = dir / "stdout.txt";
    fs::path err = dir / "stderr.txt";
    std::string command = std::string("'") + TOVALIN_PACK_EXE + "' " + arguments + " >'" +
                          out.string() + "' 2>'" + err.string() + "'";
    int status = std::system(command.c_str());
    ExeRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, AsText(ReadWholeFile(out)),
               AsText(ReadWholeFile(err))};
    fs::remove(out);
    fs::remove(err);
    return run;
}

TEST_F(PackerTest, ExecutableAnswersHelpAndVersionOnStdout) {
    ExeRun help = RunPackExe(dir_, "--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("tovalin-pack create"), std::string::npos);
    EXPECT_NE(help.out.find("フレーム画像は GIF だけです"), std::string::npos)
        << "the Linux packer says which frames it reads";
    EXPECT_TRUE(help.err.empty());
    ExeRun version = RunPackExe(dir_, "--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.starts_with("tovalin-pack ")) << version.out;
    ExeRun nothing = RunPackExe(dir_, "");
    EXPECT_NE(nothing.exitCode, 0);
    EXPECT_TRUE(nothing.out.empty());
    EXPECT_FALSE(nothing.err.empty());
}

TEST_F(PackerTest, ExecutableTakesJapaneseArgumentsAndFindsThePlayerBesideItself) {
    std::string frames = "'" + Path("f0.gif") + "' '" + Path("f1.gif") + "'";
    std::string common = "create -o '" + Path("跳ぶ.exe") + "' --icon '" + Path("chara.ico") +
                         "' " + frames + " --move 跳ねる";
    ExeRun made = RunPackExe(dir_, common + " --player '" + Path("player.exe") + "'");
    ASSERT_EQ(made.exitCode, 0) << made.err;
    Bytes file = Read("跳ぶ.exe");
    package::PackageHeader header = package::ParsePackageHeader(file, package::EXESize(file));
    EXPECT_EQ(header.gMove, kBounce);
    ASSERT_EQ(header.files.size(), 3u);
    EXPECT_EQ(header.files[1].szFileName, "01_\x92\xB5\x82\xD4.gif");  // 01_跳ぶ.gif

    // Without --player the packer looks beside itself, where the native build has no player.
    fs::path expected = fs::path(TOVALIN_PACK_EXE).parent_path() / "tovalin-player.exe";
    if (fs::exists(expected))
        GTEST_SKIP() << "a player sits beside the packer: " << expected;
    fs::remove(dir_ / "跳ぶ.exe");
    ExeRun missing = RunPackExe(dir_, common);
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_NE(missing.err.find(expected.string()), std::string::npos) << missing.err;
    EXPECT_FALSE(fs::exists(dir_ / "跳ぶ.exe"));
}

// ---- code page 932 -------------------------------------------------------------------------

TEST(Cp932, ConvertsExactlyOrNotAtAll) {
    EXPECT_EQ(Utf8ToCp932("跳ねる"), std::string(kBounce));
    EXPECT_EQ(Utf8ToCp932("表"), "\x95\x5C");
    EXPECT_EQ(Utf8ToCp932("ｷ"), "\xB7");
    EXPECT_EQ(Utf8ToCp932(""), "");
    EXPECT_FALSE(Utf8ToCp932("©"));
    EXPECT_FALSE(Utf8ToCp932("〜"));  // U+301C: only a look-alike exists
    EXPECT_FALSE(Utf8ToCp932("¥"));   // would become the backslash
    EXPECT_EQ(Utf8ToCp932("～"), "\x81\x60");
    EXPECT_FALSE(Utf8ToCp932("😀"));
    EXPECT_FALSE(Utf8ToCp932("\xE3\x81"));  // cut-off UTF-8
    EXPECT_EQ(Cp932ToUtf8Exact(std::string(kChara)), "キャラ");
    EXPECT_EQ(Cp932ToUtf8Exact("\x95\x5C.gif"), "表.gif");
    EXPECT_FALSE(Cp932ToUtf8Exact("\x95"));
    EXPECT_EQ(Cp932ToUtf8("a\x95"), "a\xEF\xBF\xBD");
    std::string long_text(1000, 'a');
    long_text += "表";
    EXPECT_EQ(Cp932ToUtf8(*Utf8ToCp932(long_text)), long_text);
}

TEST(IconAndGif, RecogniseOnlyWellFormedHeaders) {
    EXPECT_TRUE(IsGifImage(MakeGif(0)));
    std::string gif87 = "GIF87a";
    EXPECT_TRUE(IsGifImage(Bytes(gif87.begin(), gif87.end())));
    std::string short_ = "GIF89";
    EXPECT_FALSE(IsGifImage(Bytes(short_.begin(), short_.end())));
    EXPECT_TRUE(IsIconFile(MakeIcon()));
    Bytes reserved = MakeIcon();
    reserved[0] = 1;
    EXPECT_FALSE(IsIconFile(reserved));
    Bytes outside = MakeIcon();
    Put(outside, 6 + 12, 30, 4);  // image runs past the end
    EXPECT_FALSE(IsIconFile(outside));
    Bytes twoEntries = MakeIcon();
    twoEntries[4] = 2;  // the second entry would overlap the image data
    EXPECT_FALSE(IsIconFile(twoEntries));
}

}  // namespace
}  // namespace tovalin::pack

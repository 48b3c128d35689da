// The packer core that tovalin-pack and the studio share: what each kind of frame becomes in
// the package, the icon, the resource rewrite, the frame limit, and the same bytes for the
// same inputs whichever way they arrive.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "gif_files.h"
#include "pack/character.h"
#include "pack/cli.h"
#include "pack/gif_decoder.h"
#include "pack/icon.h"
#include "pack/pe_resources.h"
#include "pack/picture_file.h"
#include "package/package.h"
#include "pe_builder.h"
#include "support/png_file.h"

namespace tovalin::pack {
namespace {

namespace fs = std::filesystem;
using gif_files::Animation;
using gif_files::ManyImages;
using gif_files::Pattern;

Bytes MakePlayer() {
    const std::vector<Resource> resources{{std::uint16_t{24}, std::uint16_t{1},
                                           std::uint16_t{0x409}, 0, fake_pe::Text("<assembly/>")}};
    return fake_pe::MakeImage(true,
                              {{".text", Bytes(0x200, 0xCC), 0x60000020},
                               {".rsrc", fake_pe::ResourceTree(resources, 0x2000)}},
                              1);
}

// A picture as a PNG decoder gives it: many colours, and alpha on both sides of one half.
RgbaImage Drawing(std::uint8_t seed) {
    RgbaImage picture = MakeRgbaImage(12, 10);
    for (std::int32_t y = 0; y < picture.height; ++y) {
        for (std::int32_t x = 0; x < picture.width; ++x) {
            const auto alpha = static_cast<std::uint8_t>(x < 2    ? 0
                                                         : x == 2 ? 127
                                                         : x == 3 ? 128
                                                                  : 255);
            picture.At(x, y) = Rgba{static_cast<std::uint8_t>(20 * x + seed),
                                    static_cast<std::uint8_t>(25 * y), 90, alpha};
        }
    }
    return picture;
}

CharacterInputs Inputs(std::vector<FrameSource> frames) {
    CharacterInputs inputs;
    inputs.frames = std::move(frames);
    inputs.output = "chara.exe";
    inputs.playerName = "player.exe";
    inputs.player = MakePlayer();
    return inputs;
}

struct Unpacked {
    Bytes image;               // the player part
    std::vector<Bytes> files;  // the icon, then the frames
    package::PackageHeader header;
};

Unpacked Unpack(const Bytes& file) {
    Unpacked out;
    const std::int32_t end = package::EXESize(file);
    out.image.assign(file.begin(), file.begin() + end);
    out.header = package::ParsePackageHeader(file, end);
    for (const package::cFile& record : out.header.files) {
        out.files.emplace_back(file.begin() + (record.nOffset - 1),
                               file.begin() + (record.nOffset - 1 + record.nLen));
    }
    return out;
}

std::string Refusal(const CharacterInputs& inputs) {
    try {
        MakeCharacter(inputs);
    } catch (const PackError& error) {
        return error.what();
    }
    return "(made)";
}

// ---- what each frame becomes --------------------------------------------------------------

TEST(CharacterFrames, ASingleImageGifIsKeptByteForByte) {
    const Bytes gif = EncodeGif(Pattern(7, 5, 1));
    const Unpacked made = Unpack(MakeCharacter(Inputs({GifFile{"one.gif", gif}})).file);
    ASSERT_EQ(made.files.size(), 2u);
    EXPECT_EQ(made.files[1], gif);
}

TEST(CharacterFrames, DecodedPicturesBecomeGifsCutAtHalfOpacity) {
    const RgbaImage drawing = Drawing(3);
    const Unpacked made = Unpack(MakeCharacter(Inputs({PictureFrame{"a.png", drawing}})).file);
    ASSERT_EQ(made.files.size(), 2u);
    const RgbaImage shown = DecodeGifFirstFrame(made.files[1]);
    ASSERT_EQ(shown.width, drawing.width);
    ASSERT_EQ(shown.height, drawing.height);
    for (std::int32_t y = 0; y < drawing.height; ++y) {
        for (std::int32_t x = 0; x < drawing.width; ++x) {
            const Rgba in = drawing.At(x, y), out = shown.At(x, y);
            if (in.a < 128) {
                EXPECT_EQ(out.a, 0) << x << "," << y;
            } else {
                EXPECT_EQ(out, (Rgba{in.r, in.g, in.b, 255})) << x << "," << y;
            }
        }
    }
}

TEST(CharacterFrames, AnAnimationGivesOneFramePerImageComposited) {
    const std::vector<IndexedImage> images{Pattern(6, 4, 0), Pattern(6, 4, 1), Pattern(6, 4, 2)};
    const Bytes animation = Animation(images);
    const GifAnimation decoded = DecodeGif(animation);
    ASSERT_EQ(decoded.frames.size(), 3u);
    const Unpacked made = Unpack(MakeCharacter(Inputs({GifFile{"walk.gif", animation}})).file);
    ASSERT_EQ(made.files.size(), 4u);
    for (std::size_t i = 0; i < 3; ++i) {
        // Each image is drawn over the one before (no disposal), as a viewer shows it.
        EXPECT_EQ(DecodeGifFirstFrame(made.files[i + 1]), decoded.frames[i].image) << i;
        EXPECT_EQ(made.header.files[i + 1].szFileName, "0" + std::to_string(i + 1) + "_chara.gif");
    }
}

TEST(CharacterFrames, TheSameInputsGiveTheSameBytes) {
    const auto inputs =
        Inputs({PictureFrame{"a.png", Drawing(1)}, GifFile{"b.gif", EncodeGif(Pattern(5, 5, 2))},
                GifFile{"c.gif", Animation({Pattern(4, 4, 0), Pattern(4, 4, 1)})}});
    const Character first = MakeCharacter(inputs);
    EXPECT_EQ(first.frames, 4u);
    EXPECT_EQ(MakeCharacter(inputs).file, first.file);
}

// The studio splits an animation into pictures; the packer takes the whole file. Both must
// give the same package.
TEST(CharacterFrames, AnAnimationSplitIntoPicturesGivesTheSameBytes) {
    const Bytes animation = Animation({Pattern(5, 3, 0), Pattern(5, 3, 1)});
    std::vector<FrameSource> split;
    for (PackagedFrame& frame : PackageFrames(GifFile{"w.gif", animation}, 51))
        split.push_back(PictureFrame{"w.gif", std::move(frame.picture)});
    EXPECT_EQ(MakeCharacter(Inputs(split)).file,
              MakeCharacter(Inputs({GifFile{"w.gif", animation}})).file);
}

// ---- the icon and the resources -----------------------------------------------------------

TEST(CharacterIconResource, MadeFromTheFirstFrameWhenNoneIsGiven) {
    const RgbaImage first = Drawing(0);
    const Unpacked made = Unpack(
        MakeCharacter(Inputs({PictureFrame{"a.png", first}, PictureFrame{"b.png", Drawing(9)}}))
            .file);
    const Bytes expected = MakeCharacterIcon(first);
    EXPECT_EQ(made.files[0], expected);
    EXPECT_EQ(made.header.files[0].szFileName, "chara.ico");
    EXPECT_EQ(made.image, ReplaceIconResources(MakePlayer(), expected));
}

TEST(CharacterIconResource, TheGivenIconIsPackagedAndBecomesTheExecutablesIcon) {
    const std::vector<RgbaImage> pictures{MakeRgbaImage(16, 16, Rgba{1, 2, 3, 255}),
                                          MakeRgbaImage(32, 32, Rgba{4, 5, 6, 255})};
    const Bytes ico = WriteIco(pictures);
    auto inputs = Inputs({GifFile{"a.gif", EncodeGif(Pattern(4, 4, 0))}});
    inputs.icon = IconFile{"mine.ico", ico};
    const Unpacked made = Unpack(MakeCharacter(inputs).file);
    EXPECT_EQ(made.files[0], ico);
    std::vector<Bytes> iconImages;
    bool group = false, manifest = false;
    for (const Resource& resource : ReadResources(made.image)) {
        if (resource.type == ResourceKey{kIconResource})
            iconImages.push_back(resource.data);
        group = group || resource.type == ResourceKey{kIconGroupResource};
        manifest = manifest || resource.type == ResourceKey{std::uint16_t{24}};
    }
    const std::vector<IconEntry> entries = ReadIco(ico);
    ASSERT_EQ(iconImages.size(), entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        EXPECT_EQ(iconImages[i], entries[i].image) << i;
    EXPECT_TRUE(group);
    EXPECT_TRUE(manifest) << "the player's other resources are kept";
}

TEST(CharacterIconResource, AnIconThatIsNoIconIsRefusedByName) {
    auto inputs = Inputs({GifFile{"a.gif", EncodeGif(Pattern(4, 4, 0))}});
    inputs.icon = IconFile{"not-an-icon.ico", EncodeGif(Pattern(4, 4, 0))};
    EXPECT_NE(Refusal(inputs).find("「not-an-icon.ico」"), std::string::npos) << Refusal(inputs);
}

// ---- the frame limit ----------------------------------------------------------------------

TEST(CharacterFrameLimit, FiftyOneFramesAndNoMore) {
    const Bytes gif = EncodeGif(Pattern(3, 3, 0));
    std::vector<FrameSource> frames(51, GifFile{"f.gif", gif});
    EXPECT_EQ(MakeCharacter(Inputs(frames)).frames, 51u);
    frames.push_back(GifFile{"f.gif", gif});
    EXPECT_NE(Refusal(Inputs(frames)).find("最大 51 枚"), std::string::npos);
}

TEST(CharacterFrameLimit, AnAnimationCountsImageByImage) {
    std::vector<FrameSource> frames(50, GifFile{"f.gif", EncodeGif(Pattern(3, 3, 0))});
    frames.push_back(GifFile{"walk.gif", Animation({Pattern(3, 3, 0), Pattern(3, 3, 1)})});
    const std::string refusal = Refusal(Inputs(frames));
    EXPECT_NE(refusal.find("最大 51 枚"), std::string::npos) << refusal;
    EXPECT_NE(refusal.find("「walk.gif」"), std::string::npos) << refusal;
    frames.pop_back();
    frames.push_back(GifFile{"walk.gif", ManyImages(1)});
    EXPECT_EQ(MakeCharacter(Inputs(frames)).frames, 51u);
}

// Decoding stops at the image past the limit: the other 19,948 are never looked at.
TEST(CharacterFrameLimit, AGifClaimingTwentyThousandImagesIsRefused) {
    const std::string refusal = Refusal(Inputs({GifFile{"many.gif", ManyImages(20000)}}));
    EXPECT_NE(refusal.find("最大 51 枚"), std::string::npos) << refusal;
    EXPECT_NE(refusal.find("「many.gif」"), std::string::npos) << refusal;
}

// ---- other refusals -----------------------------------------------------------------------

TEST(CharacterRefusals, NameTheFileOrTheFieldAtFault) {
    const FrameSource good = GifFile{"a.gif", EncodeGif(Pattern(4, 4, 0))};
    Bytes cut = EncodeGif(Pattern(4, 4, 0));
    cut.resize(12);
    EXPECT_NE(Refusal(Inputs({good, GifFile{"cut.gif", cut}})).find("「cut.gif」"),
              std::string::npos);

    auto version = Inputs({good});
    version.settings.version = "© 2026";
    EXPECT_NE(Refusal(version).find("版"), std::string::npos);

    auto packaged = Inputs({good});
    packaged.player = MakeCharacter(Inputs({good})).file;
    EXPECT_NE(Refusal(packaged).find("「player.exe」"), std::string::npos);

    auto extension = Inputs({good});
    extension.output = "chara.gif";
    EXPECT_NE(Refusal(extension).find("「chara.gif」"), std::string::npos);

    EXPECT_NE(Refusal(Inputs({})), "(made)");
}

// ---- picture files ------------------------------------------------------------------------

class PictureFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        dir_ = fs::temp_directory_path() / ("tovalin-picture-test-" + std::to_string(random()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    fs::path Write(const std::string& name, const Bytes& bytes) const {
        std::ofstream stream(dir_ / name, std::ios::binary);
        stream.write(reinterpret_cast<const char*>(bytes.data()),
                     static_cast<std::streamsize>(bytes.size()));
        return dir_ / name;
    }
    static std::string Refusal(const fs::path& path) {
        try {
            ReadFrameFile(path);
        } catch (const PackError& error) {
            return error.what();
        }
        return "(read)";
    }
    fs::path dir_;
};

TEST_F(PictureFiles, GifIsTakenAsItsBytes) {
    const Bytes gif = EncodeGif(Pattern(4, 4, 0));
    const FrameSource source = ReadFrameFile(Write("a.gif", gif));
    ASSERT_TRUE(std::holds_alternative<GifFile>(source));
    EXPECT_EQ(std::get<GifFile>(source).bytes, gif);
}

TEST_F(PictureFiles, HugeDeclaredPicturesAreRefusedBeforeDecoding) {
    const std::string png = Refusal(Write("huge.png", support::PngClaiming(30000, 30000)));
    EXPECT_NE(png.find("30000×30000"), std::string::npos) << png;
    EXPECT_NE(png.find("「"), std::string::npos) << png;
    Bytes bmp(54, 0);
    bmp[0] = 'B';
    bmp[1] = 'M';
    bmp[14] = 40;
    bmp[18] = 0x30;  // 30000 = 0x7530
    bmp[19] = 0x75;
    bmp[22] = 0x30;
    bmp[23] = 0x75;
    const std::string bitmap = Refusal(Write("huge.bmp", bmp));
    EXPECT_NE(bitmap.find("30000×30000"), std::string::npos) << bitmap;
}

TEST_F(PictureFiles, TheLargestIconEntryIsTheFrame) {
    const std::vector<RgbaImage> pictures{MakeRgbaImage(16, 16), MakeRgbaImage(48, 48),
                                          MakeRgbaImage(32, 32)};
    const DeclaredPicture declared =
        CheckDeclaredPicture(WriteIco(pictures), PictureFormat::kIco, "x.ico");
    EXPECT_EQ(declared.entry, 1u);
    EXPECT_EQ(declared.width, 48);
}

TEST_F(PictureFiles, WhatThisHostCannotDecodeIsRefusedByName) {
    const fs::path png = Write("still.png", support::EncodePng(Drawing(0)));
    if (HostDecodesStillPictures())
        GTEST_SKIP() << "this host decodes PNG files";
    EXPECT_NE(Refusal(png).find("「" + png.string() + "」"), std::string::npos) << Refusal(png);
    EXPECT_NE(Refusal(Write("text.gif", Bytes{'h', 'i'})).find("どの画像でもありません"),
              std::string::npos);
}

// ---- the command line takes the same path ------------------------------------------------

TEST_F(PictureFiles, ThePackerMakesExactlyWhatTheCoreMakes) {
    const Bytes one = EncodeGif(Pattern(6, 6, 0));
    const Bytes walk = Animation({Pattern(6, 6, 1), Pattern(6, 6, 2)});
    Write("player.exe", MakePlayer());
    const CommandResult result =
        RunPacker({"create", "-o", (dir_ / "chara.exe").string(), Write("one.gif", one).string(),
                   Write("walk.gif", walk).string(), "--move", "bounce", "--version", "第2版"},
                  dir_ / "player.exe");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    auto inputs = Inputs({GifFile{"x", one}, GifFile{"y", walk}});
    inputs.settings.move = "跳ねる";
    inputs.settings.version = "第2版";
    std::ifstream made(dir_ / "chara.exe", std::ios::binary);
    const Bytes written((std::istreambuf_iterator<char>(made)), std::istreambuf_iterator<char>());
    EXPECT_EQ(written, MakeCharacter(inputs).file);
}

}  // namespace
}  // namespace tovalin::pack

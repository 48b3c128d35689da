// The studio's portable part: how files become frames (folders, animations, the icon, the
// limit), the order of the frames, the outline the preview cuts frames to, the settings as the
// header's words, and an arrangement that fits a small screen at 150 %.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "gif_files.h"
#include "pack/gif_decoder.h"
#include "pack/icon.h"
#include "package/words.h"
#include "shape/region.h"
#include "studio/frame_list.h"
#include "studio/layout.h"
#include "studio/outline.h"
#include "studio/project.h"

namespace tovalin::studio {
namespace {

namespace fs = std::filesystem;
using pack::Bytes;
using pack::gif_files::Animation;
using pack::gif_files::Pattern;

constexpr std::uint32_t kBackground = 0xF0F0F0;

class StudioFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        dir_ = fs::temp_directory_path() / ("tovalin-studio-test-" + std::to_string(random()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    fs::path Write(const std::string& name, const Bytes& bytes) const {
        fs::create_directories((dir_ / name).parent_path());
        std::ofstream stream(dir_ / name, std::ios::binary);
        stream.write(reinterpret_cast<const char*>(bytes.data()),
                     static_cast<std::streamsize>(bytes.size()));
        return dir_ / name;
    }
    static Bytes Gif(std::uint8_t seed) { return pack::EncodeGif(Pattern(5, 4, seed)); }
    static Bytes Icon() {
        const std::vector<pack::RgbaImage> pictures{pack::MakeRgbaImage(16, 16, {9, 9, 9, 255})};
        return pack::WriteIco(pictures);
    }
    static std::vector<std::string> Labels(const std::vector<Frame>& frames) {
        std::vector<std::string> labels;
        for (const Frame& frame : frames)
            labels.push_back(frame.label);
        return labels;
    }
    fs::path dir_;
};

// ---- files into frames --------------------------------------------------------------------

TEST_F(StudioFiles, AFolderGivesItsPicturesInNameOrderAndALastIcoIsTheIcon) {
    Write("set/b.gif", Gif(1));
    Write("set/A.gif", Gif(0));
    Write("set/c.GIF", Gif(2));
    Write("set/notes.txt", {'x'});
    Write("set/sub/d.gif", Gif(3));
    const fs::path icon = Write("chara.ico", Icon());
    const Batch batch = LoadBatch({dir_ / "set", icon}, 51, kBackground, LastIco::kIcon);
    EXPECT_TRUE(batch.problems.empty()) << batch.problems.front();
    EXPECT_EQ(Labels(batch.frames), (std::vector<std::string>{"A.gif", "b.gif", "c.GIF"}));
    ASSERT_TRUE(batch.icon);
    EXPECT_EQ(batch.icon->bytes, Icon());
    EXPECT_EQ(batch.iconPath, icon);
}

TEST_F(StudioFiles, AnIcoChosenAsAFrameStaysAFrame) {
    const fs::path icon = Write("face.ico", Icon());
    const Batch batch = LoadBatch({Write("a.gif", Gif(0)), icon}, 51, kBackground, LastIco::kFrame);
    EXPECT_FALSE(batch.icon);
    // Natively the ICO cannot be decoded; on Windows it is a second frame.
    EXPECT_EQ(batch.frames.size() + batch.problems.size(), 2u);
}

// The studio lists an animation image by image; each image must become the frame the packer
// makes from the whole file, so that both make the same executable.
TEST_F(StudioFiles, AnAnimationBecomesNumberedFramesPackagedAsThePackerPackagesTheFile) {
    const Bytes walk = Animation({Pattern(6, 4, 0), Pattern(6, 4, 1), Pattern(6, 4, 2)});
    const std::vector<Frame> frames = LoadFrames(Write("walk.gif", walk), 51, kBackground);
    EXPECT_EQ(Labels(frames),
              (std::vector<std::string>{"walk.gif (1/3)", "walk.gif (2/3)", "walk.gif (3/3)"}));
    const std::vector<pack::PackagedFrame> whole =
        pack::PackageFrames(pack::GifFile{"walk.gif", walk}, 51);
    ASSERT_EQ(whole.size(), frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].packaged, whole[i].gif) << i;
        EXPECT_EQ(pack::PackageFrames(frames[i].source, 1).front().gif, whole[i].gif) << i;
    }
}

TEST_F(StudioFiles, MoreFilesThanRoomAddNothingAndAreNotDecoded) {
    for (int i = 0; i < 60; ++i)
        Write("many/" + std::to_string(100 + i) + ".gif", {'n', 'o', 't'});
    const Batch batch = LoadBatch({dir_ / "many"}, 51, kBackground, LastIco::kIcon);
    EXPECT_TRUE(batch.frames.empty());
    ASSERT_EQ(batch.problems.size(), 1u) << "one message, no file was decoded";
    EXPECT_NE(batch.problems[0].find("最大 51 枚"), std::string::npos) << batch.problems[0];
    EXPECT_NE(batch.problems[0].find("60 枚"), std::string::npos) << batch.problems[0];
}

TEST_F(StudioFiles, AFileThatCannotBeReadIsNamedAndTheOthersAreAdded) {
    const Batch batch = LoadBatch(
        {Write("a.gif", Gif(0)), Write("broken.gif", {'G', 'I', 'F'}), Write("c.gif", Gif(2))}, 51,
        kBackground, LastIco::kIcon);
    EXPECT_EQ(Labels(batch.frames), (std::vector<std::string>{"a.gif", "c.gif"}));
    ASSERT_EQ(batch.problems.size(), 1u);
    EXPECT_NE(batch.problems[0].find("broken.gif"), std::string::npos) << batch.problems[0];
}

// ---- the order of the frames --------------------------------------------------------------

TEST_F(StudioFiles, FramesMoveAndGoWithinTheList) {
    FrameList list;
    for (std::uint8_t i = 0; i < 3; ++i)
        list.Append(LoadFrames(Write("f" + std::to_string(i) + ".gif", Gif(i)), 51, kBackground));
    EXPECT_EQ(list.Room(), 48u);
    EXPECT_FALSE(list.MoveUp(0));
    EXPECT_FALSE(list.MoveDown(2));
    EXPECT_TRUE(list.MoveDown(0));
    EXPECT_TRUE(list.MoveUp(2));
    EXPECT_EQ(list[0].label, "f1.gif");
    EXPECT_EQ(list[1].label, "f2.gif");
    EXPECT_EQ(list[2].label, "f0.gif");
    EXPECT_FALSE(list.Remove(3));
    EXPECT_TRUE(list.Remove(1));
    EXPECT_EQ(list.Paths(), (std::vector<fs::path>{dir_ / "f1.gif", dir_ / "f0.gif"}));
    const std::vector<pack::FrameSource> sources = list.Sources();
    ASSERT_EQ(sources.size(), 2u);
    EXPECT_EQ(std::get<pack::GifFile>(sources[1]).bytes, Gif(0));
}

// ---- the outline ---------------------------------------------------------------------------

// The player cuts away the colour of the top-left pixel of the picture it decodes: the
// background where that pixel is transparent, wherever else it shows.
TEST(StudioOutline, TheTopLeftColourAfterConversionIsCutAway) {
    pack::RgbaImage picture = pack::MakeRgbaImage(4, 3, pack::Rgba{200, 10, 10, 255});
    picture.At(0, 0) = pack::Rgba{90, 90, 90, 100};  // under half opacity: transparent
    picture.At(3, 2) = pack::Rgba{1, 2, 3, 0};
    picture.At(1, 1) = pack::Rgba{0xF0, 0xF0, 0xF0, 255};  // the background's colour, opaque
    const Bytes gif = pack::PackageFrames(pack::PictureFrame{"p", picture}, 1).front().gif;
    const Outline outline = OutlineOf(gif, kBackground);
    EXPECT_EQ(outline.key, kBackground);
    std::vector<std::uint32_t> expected(12, 0xC80A0A);
    expected[0] = expected[11] = expected[5] = kBackground;
    EXPECT_EQ(outline.pixels, expected);
    shape::RegionRecord region;
    const std::uint32_t size = shape::BuildRegionData(expected, 4, 3, kBackground, region);
    ASSERT_EQ(outline.regionSize, size);
    ASSERT_TRUE(outline.region);
    EXPECT_TRUE(std::equal(region.bytes.begin(), region.bytes.begin() + size,
                           outline.region->bytes.begin()));
    const pack::RgbaImage kept = KeptPixels(outline);
    EXPECT_EQ(kept.At(0, 0).a, 0);
    EXPECT_EQ(kept.At(1, 1).a, 0);
    EXPECT_EQ(kept.At(2, 1), (pack::Rgba{200, 10, 10, 255}));
}

TEST(StudioOutline, AnOpaqueTopLeftPixelCutsItsColourEverywhere) {
    pack::RgbaImage picture = pack::MakeRgbaImage(3, 2, pack::Rgba{0, 0, 255, 255});
    picture.At(1, 0) = pack::Rgba{255, 255, 0, 255};
    const Bytes gif = pack::PackageFrames(pack::PictureFrame{"p", picture}, 1).front().gif;
    const Outline outline = OutlineOf(gif, kBackground);
    EXPECT_EQ(outline.key, 0x0000FFu);
    ASSERT_TRUE(outline.region);
    EXPECT_EQ(outline.regionSize, shape::kRegionHeaderSize + shape::kRegionRectSize);

    const pack::RgbaImage flat = pack::MakeRgbaImage(3, 2, pack::Rgba{0, 0, 255, 255});
    const Outline nothing =
        OutlineOf(pack::PackageFrames(pack::PictureFrame{"f", flat}, 1).front().gif, kBackground);
    EXPECT_FALSE(nothing.region) << "the player shows nothing of a frame of one colour";
}

// ---- the settings --------------------------------------------------------------------------

TEST(StudioSettings, DefaultsAndChoicesAreThePackersWords) {
    Project project;
    const pack::CharacterSettings defaults;
    const pack::CharacterSettings words = project.Words();
    EXPECT_EQ(words.count, defaults.count);
    EXPECT_EQ(words.move, defaults.move);
    EXPECT_EQ(words.location, defaults.location);
    EXPECT_EQ(words.speed, defaults.speed);
    EXPECT_EQ(words.version, "Ver 1.00");
    project.settings.count = 2;
    project.settings.move = 3;
    project.settings.location = 1;
    project.settings.speed = 2;
    EXPECT_EQ(project.Words().count, "5");
    EXPECT_EQ(project.Words().move, "跳ねる");
    EXPECT_EQ(project.Words().location, "乱数");
    EXPECT_EQ(project.Words().speed, "速い");
    EXPECT_EQ(AnimationInterval(project.settings), 80u);
    project.settings.speed = 0;
    EXPECT_EQ(AnimationInterval(project.settings), 500u);
    project.settings.speed = 9;  // no box offers it: the first word, as the package gets
    EXPECT_EQ(project.Words().speed, "遅い");
    EXPECT_EQ(AnimationInterval(project.settings), 500u);
    EXPECT_EQ(LocationCaptions(), (std::vector<std::string>{"中央", "乱数"}));
    EXPECT_EQ(SpeedCaptions().size(), package::kSpeedWords.size());
}

TEST(StudioSettings, TextsCodePage932CannotHoldAreNamed) {
    EXPECT_FALSE(HeaderTextProblem("第2版 ＡＢＣ～", "版"));
    const std::optional<std::string> problem = HeaderTextProblem("© 2026", "著作権");
    ASSERT_TRUE(problem);
    EXPECT_NE(problem->find("著作権"), std::string::npos) << *problem;
    EXPECT_TRUE(HeaderTextProblem("a\nb", "版"));
}

TEST_F(StudioFiles, TheSuggestedNameComesFromTheIconOrTheFirstFrame) {
    Project project;
    EXPECT_EQ(project.SuggestedFileName(), "キャラクター.exe");
    project.frames.Append(LoadFrames(Write("walk_01.gif", Gif(0)), 51, kBackground));
    EXPECT_EQ(project.SuggestedFileName(), "walk.exe");
    project.icon = pack::IconFile{"x", Icon()};
    project.iconPath = dir_ / "みかん.ico";
    EXPECT_EQ(project.SuggestedFileName(), "みかん.exe");
    EXPECT_EQ(project.IconFileBytes(), Icon());
    project.icon.reset();
    const pack::RgbaImage first = pack::DecodeGifFirstFrame(Gif(0));
    EXPECT_EQ(project.IconFileBytes(), pack::MakeCharacterIcon(first));
}

// ---- the arrangement -----------------------------------------------------------------------

bool Overlap(const Box& a, const Box& b) {
    return a.left < b.right() && b.left < a.right() && a.top < b.bottom() && b.top < a.bottom();
}

TEST(StudioLayout, PartsNeitherOverlapNorLeaveTheWindowAt100To150Percent) {
    for (int dpi : {96, 120, 144}) {
        const Size client = ClientSize(dpi);
        for (std::size_t i = 0; i < kPartCount; ++i) {
            const Box a = PlaceOf(static_cast<Part>(i), dpi);
            EXPECT_GT(a.width, 0);
            EXPECT_GT(a.height, 0);
            EXPECT_GE(a.left, 0);
            EXPECT_GE(a.top, 0);
            EXPECT_LE(a.right(), client.width) << "part " << i << " at " << dpi;
            EXPECT_LE(a.bottom(), client.height) << "part " << i << " at " << dpi;
            for (std::size_t j = i + 1; j < kPartCount; ++j)
                EXPECT_FALSE(Overlap(a, PlaceOf(static_cast<Part>(j), dpi)))
                    << "parts " << i << " and " << j << " at " << dpi;
        }
    }
}

// 1366 x 768 less a taskbar of 40 pixels, with the window's caption and borders (some 31 and
// 8 pixels at 96 dpi, in proportion above); and no wider than a 1280 pixels wide screen.
TEST(StudioLayout, TheWindowFitsA1366By768ScreenAt150Percent) {
    for (int dpi : {96, 120, 144}) {
        const Size client = ClientSize(dpi);
        EXPECT_LE(client.width + Scaled(16, dpi), 1280) << dpi;
        EXPECT_LE(client.height + Scaled(39, dpi), 768 - Scaled(40, dpi)) << dpi;
    }
}

TEST(StudioLayout, ThePreviewUsesThePlayersScaleWhereItFitsAndShrinksWhereNot) {
    const PreviewFit doubled = FitPreview({260, 260}, {49, 64}, 2);
    EXPECT_EQ(doubled.scale, 2);
    EXPECT_EQ(doubled.left, (260 - 98) / 2);
    EXPECT_EQ(doubled.top, (260 - 128) / 2);
    EXPECT_EQ(FitPreview({260, 260}, {200, 100}, 2).scale, 1) << "whole-number scales only";
    const PreviewFit shrunk = FitPreview({260, 260}, {520, 130}, 1);
    EXPECT_DOUBLE_EQ(shrunk.scale, 0.5);
    EXPECT_EQ(shrunk.left, 0);
}

}  // namespace
}  // namespace tovalin::studio

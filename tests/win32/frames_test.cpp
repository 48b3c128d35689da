// Frames built from a file's bytes already in memory, as start-up builds them from its package,
// against the frames built from the files themselves.
#include "platform/picture_win32.h"
#include "platform/folder_win32.h"
#include "platform/text_win32.h"
#include "shape/frames.h"
#include "shape/frames_win32.h"
#include "shape/region.h"
#include "shape/view_win32.h"
#include "support/support_win32.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tovalin::shape {
namespace {

// The imaging component reads the BMP and ICO favourites on this thread, as on the player's.
const platform::ComApartment gCom;

using Bytes = std::vector<std::uint8_t>;

Bytes ReadBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Everything a frame is made of: what the windows are sized, cut and painted from.
struct Frame {
    std::int32_t width = 0, height = 0, shape = 0;
    RegionRecord region;
    std::int32_t pictureWidth = 0, pictureHeight = 0;
    std::vector<std::uint32_t> pixels;
};

std::vector<Frame> Frames() {
    std::vector<Frame> frames;
    for (std::int32_t k = 0; k < gFrameCount; ++k) {
        const auto i = static_cast<std::size_t>(k);
        const Picture& picture = *frmView::Default().Pic.at(i);
        frames.push_back({gFrameWidth[i], gFrameHeight[i], gRgnShape[i], gRgnData[i],
                          picture.pixels.width, picture.pixels.height, picture.pixels.pixels});
    }
    return frames;
}

std::vector<std::wstring> SampleFrames() {
    std::vector<std::wstring> paths;
    for (int n = 1; n <= 50; ++n)
        paths.push_back(support::SampleFrame(n));
    return paths;
}

std::vector<std::wstring> Favourites() {
    std::vector<std::wstring> paths;
    for (const wchar_t* name : {L"01.gif", L"02.bmp", L"03.ico", L"04.gif", L"05.bmp", L"06.gif"})
        paths.push_back(support::SourcePath(L"assets\\favourites\\ぷかり\\") + name);
    return paths;
}

void ExpectSameFrames(const std::vector<std::wstring>& paths, const std::vector<Frame>& fromFiles,
                      const std::vector<Frame>& fromBytes) {
    ASSERT_EQ(fromBytes.size(), paths.size());
    ASSERT_EQ(fromFiles.size(), paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(platform::ToUtf8(paths[i]));
        const Frame& a = fromFiles[i];
        const Frame& b = fromBytes[i];
        EXPECT_GT(a.pictureWidth, 0);
        EXPECT_EQ(b.width, a.width);
        EXPECT_EQ(b.height, a.height);
        EXPECT_EQ(b.shape, a.shape);
        EXPECT_TRUE(SameRegionData(b.region, a.region));
        EXPECT_EQ(b.pictureWidth, a.pictureWidth);
        EXPECT_EQ(b.pictureHeight, a.pictureHeight);
        EXPECT_EQ(b.pixels, a.pixels);
    }
}

// Each shipped set of pictures loaded in turn, GIF or not, so that the shapes shared between
// neighbours are compared too.
TEST(FramesFromBytes, EveryShippedPictureGivesTheFrameItsFileGives) {
    for (const std::vector<std::wstring>& paths : {SampleFrames(), Favourites()}) {
        std::vector<Bytes> contents;
        for (const std::wstring& path : paths) {
            contents.push_back(ReadBytes(path));
            ASSERT_FALSE(contents.back().empty())
                << "a shipped picture is missing or empty: " << platform::ToUtf8(path);
        }
        ClearFrameStore();
        for (const std::wstring& path : paths)
            ASSERT_EQ(LoadFrame(path), FrameLoad::kLoaded) << platform::ToUtf8(path);
        const std::vector<Frame> fromFiles = Frames();
        ClearFrameStore();
        for (std::size_t i = 0; i < paths.size(); ++i) {
            ASSERT_EQ(LoadFrame(contents[i], paths[i]), FrameLoad::kLoaded)
                << platform::ToUtf8(paths[i]);
        }
        const std::vector<Frame> fromBytes = Frames();
        ClearFrameStore();
        ExpectSameFrames(paths, fromFiles, fromBytes);
    }
}

// What comes of the bytes handed over, whatever the file at the path holds: a GIF is never read
// back from its file, and a refusal names the file.
TEST(FramesFromBytes, TheBytesDecideAndARefusalNamesTheFile) {
    const Bytes gif = ReadBytes(support::SampleFrame(1));
    ASSERT_FALSE(gif.empty()) << "the sample frames are missing";
    const std::string junk = "GIF89a but nothing else";
    Bytes huge = gif;
    huge[6] = huge[7] = 0xFF;  // a logical screen of 65,535 pixels across
    const std::wstring missing = platform::TempFolderPath() + L"tovalin-no-such-frame.gif";
    struct Case {
        const char* what;
        Bytes bytes;
        FrameLoad expected;
    };
    const Case cases[] = {
        {"a whole GIF whose file is gone", gif, FrameLoad::kLoaded},
        {"a GIF that ends after its signature", Bytes(junk.begin(), junk.end()),
         FrameLoad::kUndecodable},
        {"a GIF claiming a huge screen", huge, FrameLoad::kUndecodable},
        {"no bytes, and no file to fall back on", {}, FrameLoad::kUndecodable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClearFrameStore();
        std::wstring error;
        EXPECT_EQ(LoadFrame(c.bytes, missing, &error), c.expected);
        EXPECT_EQ(gFrameCount, c.expected == FrameLoad::kLoaded ? 1 : 0);
        if (c.expected == FrameLoad::kUndecodable) {
            EXPECT_NE(error.find(L"tovalin-no-such-frame.gif"), std::wstring::npos);
        }
    }
    ClearFrameStore();
}

TEST(FramesFromBytes, NoFrameBeyondTheTable) {
    const Bytes gif = ReadBytes(support::SampleFrame(2));
    ASSERT_FALSE(gif.empty()) << "the sample frames are missing";
    ClearFrameStore();
    for (int i = 0; i < kMaxFrames; ++i)
        ASSERT_EQ(LoadFrame(gif, support::SampleFrame(2)), FrameLoad::kLoaded);
    std::wstring error;
    EXPECT_EQ(LoadFrame(gif, support::SampleFrame(2), &error), FrameLoad::kTableFull);
    EXPECT_EQ(gFrameCount, kMaxFrames);
    EXPECT_FALSE(error.empty());
    ClearFrameStore();
}

}  // namespace
}  // namespace tovalin::shape

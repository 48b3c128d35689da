#include "platform/paths.h"
#include "platform/file_win32.h"
#include "platform/module_path.h"
#include "platform/text_win32.h"
#include "ui/settings_win32.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace tovalin::ui {
namespace {

std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class Settings : public ::testing::Test {
  protected:
    void SetUp() override {
        gFolder.clear();
        ::DeleteFileW(SettingsPath().c_str());
    }
    void TearDown() override {
        ::DeleteFileW(SettingsPath().c_str());
        if (!folder_.empty()) {
            ::DeleteFileW((folder_ + L"\\TOVALIN.ini").c_str());
            ::RemoveDirectoryW(folder_.c_str());
        }
        gFolder.clear();
    }
    std::wstring MakeFavouriteFolder(const std::wstring& name) {
        folder_ = platform::JoinFolder(platform::FolderOf(platform::ModulePath()), name);
        ::CreateDirectoryW(folder_.c_str(), nullptr);
        return folder_;
    }
    std::wstring folder_;
};

TEST_F(Settings, PathsSitBesideTheExecutable) {
    const std::wstring folder = platform::FolderOf(platform::ModulePath());
    EXPECT_EQ(SettingsPath(), folder + L"\\TOVALIN.ini");
    // Without a favourite the folder-level file is the program-level one, doubled separator and
    // all.
    EXPECT_EQ(FolderSettingsPath(), folder + L"\\\\TOVALIN.ini");
    gFolder = L"ぷかり";
    EXPECT_EQ(FolderSettingsPath(), folder + L"\\ぷかり\\TOVALIN.ini");
}

TEST_F(Settings, ValuesReadBackTrimmedAndAbsentKeysEmpty) {
    WriteSetting(L"Setting", L"Folder", L"  ぷかり  ");
    EXPECT_EQ(ReadSetting(L"Setting", L"Folder"), L"ぷかり");
    EXPECT_EQ(ReadSetting(L"Setting", L"Missing"), L"");
    EXPECT_EQ(ReadSetting(L"Nothing", L"Folder"), L"");
}

TEST_F(Settings, FileHoldsCodePage932Text) {
    // Whatever the system's ANSI code page, the bytes on disk are code page 932.
    WriteSetting(L"Setting", L"Folder", L"ぷかり");
    const std::string bytes = ReadBytes(SettingsPath());
    EXPECT_NE(bytes.find("[Setting]"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("Folder=\x82\xd5\x82\xa9\x82\xe8"), std::string::npos) << bytes;
    EXPECT_EQ(ReadSetting(L"Setting", L"Folder"), L"ぷかり");
}

TEST_F(Settings, FolderLevelKeysGoWhereTheFavouriteIs) {
    WriteFolderSetting(L"Move", L"Mode", L"跳ねる");
    EXPECT_NE(ReadBytes(SettingsPath()).find("[Move]"), std::string::npos)
        << "before a favourite is chosen the keys land beside the executable";

    const std::wstring folder = MakeFavouriteFolder(L"設定テスト");
    gFolder = L"設定テスト";
    WriteFolderSetting(L"Char", L"Count", L"3");
    const std::string bytes = ReadBytes(folder + L"\\TOVALIN.ini");
    EXPECT_NE(bytes.find("[Char]"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find("Count=3"), std::string::npos) << bytes;
    EXPECT_EQ(ReadBytes(SettingsPath()).find("[Char]"), std::string::npos);
}

TEST_F(Settings, WritesIntoAMissingFolderAreSilent) {
    gFolder = L"存在しないフォルダ";
    WriteFolderSetting(L"Char", L"Count", L"5");  // must neither throw nor create anything
    EXPECT_FALSE(platform::FileExists(FolderSettingsPath()));
}

}  // namespace
}  // namespace tovalin::ui

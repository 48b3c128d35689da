// Runs the Windows packer the way a user does: a wide command line with Japanese names and
// words, and the player found beside the packer, which takes the character's icon.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pack/gif_encoder.h"
#include "pack/icon.h"
#include "pack/pe_resources.h"
#include "package/package.h"
#include "platform/module_path.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

fs::path ModuleFolder() {
    return fs::path(tovalin::platform::ModulePath()).parent_path();
}

Bytes ReadAll(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& path, const Bytes& bytes) {
    std::ofstream stream(path, std::ios::binary);
    stream.write(reinterpret_cast<const char*>(bytes.data()),
                 static_cast<std::streamsize>(bytes.size()));
}

// Exit code of the program, or -1 when it could not be started.
DWORD RunProgram(const fs::path& program, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + program.wstring() + L"\" " + arguments;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE nul =
        CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = nul;
    startup.hStdError = nul;
    PROCESS_INFORMATION process{};
    BOOL started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                  nullptr, nullptr, &startup, &process);
    DWORD exitCode = static_cast<DWORD>(-1);
    if (started) {
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (nul != INVALID_HANDLE_VALUE)
        CloseHandle(nul);
    return exitCode;
}

Bytes Icon() {
    const std::vector<tovalin::pack::RgbaImage> pictures{
        tovalin::pack::MakeRgbaImage(16, 16, tovalin::pack::Rgba{9, 99, 199, 255})};
    return tovalin::pack::WriteIco(pictures);
}

class PackerWin32 : public ::testing::Test {
  protected:
    void SetUp() override {
        packer_ = ModuleFolder() / L"tovalin-pack.exe";
        player_ = ModuleFolder() / L"tovalin-player.exe";
        if (!fs::exists(packer_) || !fs::exists(player_)) {
            GTEST_SKIP() << "the packer and the player are not built beside the tests";
        }
        wchar_t temp[MAX_PATH + 1];
        GetTempPathW(MAX_PATH + 1, temp);
        dir_ = fs::path(temp) / (L"tovalin-pack-キャラ-" + std::to_wstring(GetCurrentProcessId()));
        fs::create_directories(dir_);
        tovalin::pack::IndexedImage frame;
        frame.width = frame.height = 2;
        frame.palette = {{0, 0, 0}, {250, 120, 0}};
        frame.indices = {0, 1, 1, 1};
        frame.transparentIndex = 0;
        WriteAll(dir_ / L"歩く.gif", tovalin::pack::EncodeGif(frame));
        WriteAll(dir_ / L"絵.ico", Icon());
    }
    void TearDown() override {
        std::error_code ignored;
        if (!dir_.empty())
            fs::remove_all(dir_, ignored);
    }
    std::wstring Quoted(const wchar_t* name) const {
        return L"\"" + (dir_ / name).wstring() + L"\"";
    }
    std::wstring Create(const std::wstring& extra) const {
        return L"create -o " + Quoted(L"跳ぶ.exe") + L" --icon " + Quoted(L"絵.ico") + L" " +
               Quoted(L"歩く.gif") + L" " + extra;
    }

    fs::path packer_, player_, dir_;
};

TEST_F(PackerWin32, JapaneseArgumentsReachThePackageAsCodePage932) {
    ASSERT_EQ(RunProgram(packer_, Create(L"--move 跳ねる --copyright ＡＢＣ")), 0u);
    Bytes file = ReadAll(dir_ / L"跳ぶ.exe");
    Bytes player = tovalin::pack::ReplaceIconResources(ReadAll(player_), Icon());
    ASSERT_GT(file.size(), player.size());
    EXPECT_TRUE(std::equal(player.begin(), player.end(), file.begin()));
    std::int32_t imageEnd = tovalin::package::EXESize(file);
    EXPECT_EQ(static_cast<std::size_t>(imageEnd), player.size());
    tovalin::package::PackageHeader header = tovalin::package::ParsePackageHeader(file, imageEnd);
    EXPECT_FALSE(tovalin::package::CheckPackage(header, file.size()));
    EXPECT_EQ(header.gMove, "\x92\xB5\x82\xCB\x82\xE9");
    EXPECT_EQ(header.gCopyright, "\x82\x60\x82\x61\x82\x62");
    ASSERT_EQ(header.files.size(), 2u);
    EXPECT_EQ(header.files[0].szFileName, "\x92\xB5\x82\xD4.ico");
    EXPECT_EQ(header.files[1].szFileName, "01_\x92\xB5\x82\xD4.gif");
}

TEST_F(PackerWin32, TextWithoutAnExactCodePage932FormIsRefused) {
    // U+301C has only a best-fit look-alike in code page 932.
    EXPECT_NE(RunProgram(packer_, Create(L"--copyright \x301C")), 0u);
    EXPECT_NE(RunProgram(packer_, Create(L"--version \x00A9")), 0u);
    EXPECT_FALSE(fs::exists(dir_ / L"跳ぶ.exe"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
}

}  // namespace

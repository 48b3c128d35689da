// The built players as a Windows loader and the package reader see them: the 32-bit player the
// package format was made for and its 64-bit twin. Read from their headers, so this runs on
// any machine, whether or not it can start them.
#include "package/package.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace tovalin::package {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

std::uint32_t Get(const Bytes& bytes, std::size_t offset, int width) {
    if (offset + static_cast<std::size_t>(width) > bytes.size())
        throw std::out_of_range("read past the end of the image");
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i)
        value = (value << 8) | bytes[offset + static_cast<std::size_t>(i)];
    return value;
}

struct PlayerImage {
    std::uint32_t machine = 0;
    std::uint32_t magic = 0;
    std::uint32_t subsystem = 0;
    std::uint32_t symbolTable = 0;
    std::uint32_t symbolCount = 0;
    std::vector<std::uint32_t> resourceTypes;  // ids of the resource directory's first level
    std::string manifest;
    std::vector<std::string> imports;  // the libraries the loader loads with it, in lower case
};

std::size_t FileOffsetOfRva(const Bytes& bytes, std::size_t table, std::uint32_t sections,
                            std::uint32_t rva) {
    for (std::uint32_t i = 0; i < sections; ++i) {
        const std::size_t entry = table + 40 * i;
        const std::uint32_t address = Get(bytes, entry + 12, 4);
        const std::uint32_t rawSize = Get(bytes, entry + 16, 4);
        if (rva >= address && rva < address + rawSize)
            return Get(bytes, entry + 20, 4) + (rva - address);
    }
    throw std::out_of_range("RVA outside every section");
}

// The names of the import descriptors, up to the empty one that ends them.
std::vector<std::string> ReadImports(const Bytes& bytes, std::size_t table, std::uint32_t sections,
                                     std::uint32_t importRva) {
    std::vector<std::string> names;
    if (importRva == 0)
        return names;
    for (std::size_t entry = FileOffsetOfRva(bytes, table, sections, importRva);; entry += 20) {
        const std::uint32_t nameRva = Get(bytes, entry + 12, 4);
        if (nameRva == 0)
            return names;
        std::string name;
        for (std::size_t at = FileOffsetOfRva(bytes, table, sections, nameRva); bytes.at(at) != 0;
             ++at)
            name += static_cast<char>(std::tolower(bytes[at]));
        names.push_back(name);
    }
}

// Headers, imported libraries, the resource types present and the text of the first manifest
// resource.
PlayerImage ReadPlayerImage(const Bytes& bytes) {
    PlayerImage image;
    const std::size_t pe = Get(bytes, 60, 4);
    image.machine = Get(bytes, pe + 4, 2);
    const std::uint32_t sections = Get(bytes, pe + 6, 2);
    image.symbolTable = Get(bytes, pe + 12, 4);
    image.symbolCount = Get(bytes, pe + 16, 4);
    const std::size_t optional = pe + 24;
    image.magic = Get(bytes, optional, 2);
    image.subsystem = Get(bytes, optional + 68, 2);
    const bool plus = image.magic == 0x20B;
    const std::size_t directories = optional + (plus ? 112 : 96);
    const std::size_t table = pe + 24 + Get(bytes, pe + 20, 2);
    image.imports = ReadImports(bytes, table, sections, Get(bytes, directories + 8 * 1, 4));
    const std::uint32_t resourceRva = Get(bytes, directories + 8 * 2, 4);
    if (resourceRva == 0)
        return image;
    const std::size_t root = FileOffsetOfRva(bytes, table, sections, resourceRva);
    const std::uint32_t named = Get(bytes, root + 12, 2);
    const std::uint32_t ids = Get(bytes, root + 14, 2);
    for (std::uint32_t i = named; i < named + ids; ++i) {
        const std::size_t entry = root + 16 + 8 * i;
        const std::uint32_t type = Get(bytes, entry, 4);
        image.resourceTypes.push_back(type);
        if (type != 24 || !image.manifest.empty())
            continue;
        // Type -> first name -> first language -> data entry.
        std::size_t node = root + (Get(bytes, entry + 4, 4) & 0x7FFFFFFF);
        node = root + (Get(bytes, node + 16 + 4, 4) & 0x7FFFFFFF);
        const std::size_t data = root + Get(bytes, node + 16 + 4, 4);
        const std::size_t at = FileOffsetOfRva(bytes, table, sections, Get(bytes, data, 4));
        const std::size_t size = Get(bytes, data + 4, 4);
        if (at + size <= bytes.size())
            image.manifest.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                  bytes.begin() + static_cast<std::ptrdiff_t>(at + size));
    }
    return image;
}

std::optional<Bytes> ReadBuiltPlayer(const char* build) {
    const fs::path path = fs::path(TOVALIN_SOURCE_DIR) / "build" / build / "tovalin-player.exe";
    std::ifstream stream(path, std::ios::binary);
    if (!stream)
        return std::nullopt;
    return Bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
}

// ./run test builds both players before this runs and sets TOVALIN_REQUIRE_PLAYERS: there a
// missing player is a failure, not a skip.
#define READ_PLAYER_OR_SKIP(var, build)                                                    \
    std::optional<Bytes> var = ReadBuiltPlayer(build);                                     \
    if (!var) {                                                                            \
        if (std::getenv("TOVALIN_REQUIRE_PLAYERS"))                                        \
            FAIL() << "build/" build "/tovalin-player.exe is missing";                     \
        GTEST_SKIP() << "build/" build "/tovalin-player.exe not built (preset " build ")"; \
    }

bool Contains(const std::vector<std::uint32_t>& ids, std::uint32_t id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// Libraries a start must not load: COM and the codecs (a package's frames are GIFs, which the
// player reads itself; BMP and ICO favourites load them when chosen) and the common controls
// (the version dialog loads them when it first opens). Each costs a start more than the rest of
// it does.
void ExpectNoCostlyImports(const PlayerImage& image) {
    for (const char* name : {"ole32.dll", "oleaut32.dll", "windowscodecs.dll", "comctl32.dll"})
        EXPECT_EQ(std::count(image.imports.begin(), image.imports.end(), name), 0) << name;
    EXPECT_EQ(std::count(image.imports.begin(), image.imports.end(), "user32.dll"), 1)
        << "the import table was not read";
}

constexpr std::uint32_t kGuiSubsystem = 2;
constexpr std::uint32_t kVersionResource = 16;
constexpr std::uint32_t kManifestResource = 24;

TEST(PlayerImage, The32BitPlayerIsAStrippedGuiPe32ForIntel386) {
    READ_PLAYER_OR_SKIP(bytes, "mingw");
    const PlayerImage image = ReadPlayerImage(*bytes);
    EXPECT_EQ(image.magic, 0x10Bu) << "not PE32";
    EXPECT_EQ(image.machine, 0x14Cu) << "not Intel 386";
    EXPECT_EQ(image.subsystem, kGuiSubsystem);
    EXPECT_EQ(image.symbolTable, 0u) << "a symbol table would follow the last section";
    EXPECT_EQ(image.symbolCount, 0u);
    EXPECT_EQ(static_cast<std::size_t>(EXESize(*bytes)), bytes->size());
    EXPECT_TRUE(Contains(image.resourceTypes, kVersionResource));
    ASSERT_TRUE(Contains(image.resourceTypes, kManifestResource));
    EXPECT_NE(image.manifest.find("processorArchitecture=\"x86\""), std::string::npos);
    EXPECT_NE(image.manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    ExpectNoCostlyImports(image);
}

TEST(PlayerImage, TheTwinIsAStrippedGuiPe32PlusForAmd64) {
    READ_PLAYER_OR_SKIP(bytes, "mingw64");
    const PlayerImage image = ReadPlayerImage(*bytes);
    EXPECT_EQ(image.magic, 0x20Bu) << "not PE32+";
    EXPECT_EQ(image.machine, 0x8664u) << "not AMD64";
    EXPECT_EQ(image.subsystem, kGuiSubsystem);
    EXPECT_EQ(image.symbolTable, 0u);
    EXPECT_EQ(image.symbolCount, 0u);
    EXPECT_EQ(static_cast<std::size_t>(EXESize(*bytes)), bytes->size());
    EXPECT_TRUE(Contains(image.resourceTypes, kVersionResource));
    ASSERT_TRUE(Contains(image.resourceTypes, kManifestResource));
    // A manifest naming another architecture stops the loader with a side-by-side error.
    EXPECT_NE(image.manifest.find("processorArchitecture=\"amd64\""), std::string::npos);
    EXPECT_EQ(image.manifest.find("processorArchitecture=\"x86\""), std::string::npos);
    ExpectNoCostlyImports(image);
}

}  // namespace
}  // namespace tovalin::package

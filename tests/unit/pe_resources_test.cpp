// The icon resource rewrite on small PE32 and PE32+ images put together by pe_builder.h, with a
// resource tree written independently of the code under test, and on the built players when
// present.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "package/package.h"
#include "pack/icon.h"
#include "pack/pe_resources.h"
#include "pe_builder.h"

namespace tovalin::pack {
namespace {

using namespace fake_pe;

std::vector<Resource> PlayerResources() {
    return {
        {std::uint16_t{24}, std::uint16_t{1}, std::uint16_t{kUsEnglish}, 0, Text("<assembly/>")},
        {std::uint16_t{3}, std::uint16_t{1}, std::uint16_t{kUsEnglish}, 0, Text("old icon 1")},
        {std::uint16_t{14}, std::uint16_t{7}, std::uint16_t{kUsEnglish}, 0, Text("old group")},
        {std::uint16_t{16}, std::uint16_t{1}, std::uint16_t{kUsEnglish}, 1200, Text("version")},
        {u"png", u"Logo", std::uint16_t{0x411}, 932, Text("\x89PNG...")},
        {std::uint16_t{3}, std::uint16_t{2}, std::uint16_t{kUsEnglish}, 0, Text("old icon 2")}};
}

// A player whose resources are the given ones in the last of three sections.
Bytes MakePlayer(bool plus, const std::vector<Resource>& resources = PlayerResources()) {
    return MakeImage(plus,
                     {{".text", Bytes(0x321, 0xCC), 0x60000020},
                      {".reloc", Bytes(0x10, 1), 0x42000040},
                      {".rsrc", ResourceTree(resources, SectionRva(2))}},
                     2);
}

Bytes CharacterIcon() {
    RgbaImage frame = MakeRgbaImage(20, 30, Rgba{200, 30, 40, 255});
    frame.At(0, 0).a = 0;
    return MakeCharacterIcon(frame);
}

struct Headers {
    std::size_t table, optional, directories;
    std::uint32_t count;
};

Headers ReadHeaderOffsets(const Bytes& image) {
    const std::size_t pe = Get(image, 60, 4);
    const std::size_t optional = pe + 24;
    const bool plus = Get(image, optional, 2) == 0x20B;
    return {optional + Get(image, pe + 20, 2), optional, optional + (plus ? 112 : 96),
            Get(image, pe + 6, 2)};
}

class IconRewrite : public ::testing::TestWithParam<bool> {};

TEST_P(IconRewrite, ReplacesTheIconAndKeepsEveryOtherResource) {
    const Bytes ico = CharacterIcon();
    const std::vector<IconEntry> icons = ReadIco(ico);
    const std::vector<Resource> after =
        ReadResources(ReplaceIconResources(MakePlayer(GetParam()), ico));
    for (const Resource& before : PlayerResources()) {
        const bool icon =
            before.type == Key{std::uint16_t{3}} || before.type == Key{std::uint16_t{14}};
        EXPECT_EQ(std::count(after.begin(), after.end(), before), icon ? 0 : 1);
    }
    std::vector<const Resource*> newIcons, groups;
    for (const Resource& r : after) {
        if (r.type == Key{std::uint16_t{3}})
            newIcons.push_back(&r);
        if (r.type == Key{std::uint16_t{14}})
            groups.push_back(&r);
    }
    ASSERT_EQ(newIcons.size(), icons.size());
    ASSERT_EQ(groups.size(), 1u);
    const Resource& group = *groups[0];
    EXPECT_EQ(group.name, Key{std::uint16_t{7}}) << "the old group's name is kept";
    EXPECT_EQ(group.language, Key{std::uint16_t{kUsEnglish}}) << "and its language";
    EXPECT_EQ(Get(group.data, 0, 2), 0u);
    EXPECT_EQ(Get(group.data, 2, 2), 1u);
    ASSERT_EQ(group.data.size(), 6 + 14 * icons.size());
    EXPECT_EQ(Get(group.data, 4, 2), icons.size());
    for (std::size_t i = 0; i < icons.size(); ++i) {
        EXPECT_EQ(newIcons[i]->name, Key{static_cast<std::uint16_t>(i + 1)});
        EXPECT_EQ(newIcons[i]->language, group.language);
        EXPECT_EQ(newIcons[i]->data, icons[i].image);
        const std::size_t at = 6 + 14 * i;
        EXPECT_EQ(group.data[at], icons[i].width);
        EXPECT_EQ(group.data[at + 1], icons[i].height);
        EXPECT_EQ(Get(group.data, at + 4, 2), 1u);
        EXPECT_EQ(Get(group.data, at + 6, 2), 32u);
        EXPECT_EQ(Get(group.data, at + 8, 4), icons[i].image.size());
        EXPECT_EQ(Get(group.data, at + 12, 2), i + 1) << "the RT_ICON id";
    }
}

TEST_P(IconRewrite, HeadersFollowTheNewSectionAndNothingElseChanges) {
    const Bytes player = MakePlayer(GetParam());
    const Bytes out = ReplaceIconResources(player, CharacterIcon());
    const Headers h = ReadHeaderOffsets(out);
    const std::size_t rsrc = h.table + 40 * 2;
    const std::uint32_t virtualSize = Get(out, rsrc + 8, 4), raw = Get(out, rsrc + 16, 4);
    const std::uint32_t pointer = Get(out, rsrc + 20, 4);
    EXPECT_EQ(raw % 0x200, 0u);
    EXPECT_GE(raw, virtualSize);
    EXPECT_LT(raw - virtualSize, 0x200u);
    EXPECT_EQ(out.size(), pointer + raw);
    EXPECT_EQ(static_cast<std::size_t>(package::EXESize(out)), out.size()) << "ready for a package";
    EXPECT_EQ(Get(out, h.optional + 56, 4), (0x3000 + virtualSize + 0xFFF) / 0x1000 * 0x1000);
    EXPECT_EQ(Get(out, h.directories + 16, 4), 0x3000u);
    EXPECT_EQ(Get(out, h.directories + 20, 4), virtualSize);
    EXPECT_EQ(Get(out, h.optional + 8, 4),
              Get(player, h.optional + 8, 4) + raw - Get(player, rsrc + 16, 4));
    EXPECT_EQ(Get(out, h.optional + 64, 4), ComputePeChecksum(out));
    EXPECT_NE(Get(out, h.optional + 64, 4), 0u);

    // Everything in front of the section is as it was, but for the fields above.
    Bytes before(player.begin(), player.begin() + pointer), now(out.begin(), out.begin() + pointer);
    for (std::size_t field : {h.optional + 8, h.optional + 56, h.optional + 64, h.directories + 20,
                              rsrc + 8, rsrc + 16}) {
        Set(before, field, 0, 4);
        Set(now, field, 0, 4);
    }
    EXPECT_EQ(now, before);
    EXPECT_EQ(ReplaceIconResources(out, CharacterIcon()), out) << "rewriting again changes nothing";
}

INSTANTIATE_TEST_SUITE_P(Pe32AndPe32Plus, IconRewrite, ::testing::Bool());

TEST(IconRewriteDefaults, GroupIsIdOneInJapaneseWhenThereWasNone) {
    std::vector<Resource> resources = PlayerResources();
    std::erase_if(resources, [](const Resource& r) { return r.type == Key{std::uint16_t{14}}; });
    std::vector<Resource> after =
        ReadResources(ReplaceIconResources(MakePlayer(false, resources), CharacterIcon()));
    auto group = std::find_if(after.begin(), after.end(),
                              [](const Resource& r) { return r.type == Key{std::uint16_t{14}}; });
    ASSERT_NE(group, after.end());
    EXPECT_EQ(group->name, Key{std::uint16_t{1}});
    EXPECT_EQ(group->language, Key{std::uint16_t{kJapaneseLanguage}});

    resources.push_back({std::uint16_t{14}, u"MAINICON", std::uint16_t{0x804}, 0, Text("g")});
    after = ReadResources(ReplaceIconResources(MakePlayer(true, resources), CharacterIcon()));
    group = std::find_if(after.begin(), after.end(),
                         [](const Resource& r) { return r.type == Key{std::uint16_t{14}}; });
    EXPECT_EQ(group->name, Key{u"MAINICON"});
    EXPECT_EQ(group->language, Key{std::uint16_t{0x804}});
}

// Data entry RVAs of the tree, walked here independently, in directory order.
std::vector<std::uint32_t> DataRvas(const Bytes& image, std::size_t root) {
    std::vector<std::uint32_t> rvas;
    auto entries = [&](std::size_t dir) {
        return Get(image, dir + 12, 2) + Get(image, dir + 14, 2);
    };
    for (std::uint32_t t = 0; t < entries(root); ++t) {
        const std::size_t type = root + (Get(image, root + 20 + 8 * t, 4) & ~kFlag);
        for (std::uint32_t n = 0; n < entries(type); ++n) {
            const std::size_t name = root + (Get(image, type + 20 + 8 * n, 4) & ~kFlag);
            for (std::uint32_t l = 0; l < entries(name); ++l)
                rvas.push_back(Get(image, root + Get(image, name + 20 + 8 * l, 4), 4));
        }
    }
    return rvas;
}

TEST(IconRewriteLayout, EntriesAreInTheOrderWindowsSearchesAndDataIsAligned) {
    std::vector<Resource> resources = PlayerResources();
    resources.push_back({u"PNG", u"logo", std::uint16_t{0x409}, 0, Text("a")});
    resources.push_back({u"Avi", std::uint16_t{2}, std::uint16_t{0x411}, 0, Text("b")});
    resources.push_back({u"avi", std::uint16_t{1}, std::uint16_t{0x411}, 0, Text("c")});
    resources.push_back({std::uint16_t{5}, std::uint16_t{9}, std::uint16_t{0x411}, 0, Text("d")});
    resources.push_back({std::uint16_t{5}, u"b", std::uint16_t{0x411}, 0, Text("e")});
    resources.push_back({std::uint16_t{5}, u"A", std::uint16_t{0x411}, 0, Text("f")});
    resources.push_back({std::uint16_t{5}, std::uint16_t{9}, std::uint16_t{0x409}, 0, Text("g")});
    const Bytes out = ReplaceIconResources(MakePlayer(false, resources), CharacterIcon());
    std::vector<std::string> order;
    for (const Resource& r : ReadResources(out))
        order.push_back(std::string(1, static_cast<char>(r.data.at(0))));
    // Names by folded case, code units breaking the tie ("Avi" before "avi"), then ids, at every
    // level. Icons start with their DIB header's size, 40 ('('), the group with a zero.
    const std::vector<std::string> expected{
        "b", "c", "a", "\x89", "(", "(", "(", "f", "e", "g", "d", std::string(1, '\0'), "v", "<"};
    EXPECT_EQ(order, expected);
    const Headers h = ReadHeaderOffsets(out);
    const std::size_t root = Get(out, h.table + 80 + 20, 4);
    EXPECT_EQ(Get(out, root + 12, 2), 4u) << "named types";
    EXPECT_EQ(Get(out, root + 14, 2), 5u) << "numbered types: 3 5 14 16 24";
    for (std::uint32_t rva : DataRvas(out, root))
        EXPECT_EQ(rva % 8, 0u);
}

void ExpectRefused(const Bytes& image, const std::string& expected,
                   const Bytes& ico = CharacterIcon()) {
    try {
        ReplaceIconResources(image, ico);
        ADD_FAILURE() << "accepted; expected: " << expected;
    } catch (const PackError& e) {
        EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
    }
}

TEST(IconRewriteRefusals, ImagesThatCannotTakeAnIcon) {
    const Bytes player = MakePlayer(false);
    const Headers h = ReadHeaderOffsets(player);
    auto changed = [&](std::size_t at, std::uint32_t value) {
        Bytes bad = player;
        Set(bad, at, value, 4);
        return bad;
    };
    Bytes packaged = player;
    packaged.push_back('7');
    ExpectRefused(packaged, "最後のセクションの後にデータがあります");
    ExpectRefused(Bytes(player.begin(), player.end() - 1), "途中で切れています");
    ExpectRefused(Bytes(player.begin(), player.begin() + 0x100), "途中で切れています");
    ExpectRefused(Text("MZ not a program"), "PE形式");
    ExpectRefused(changed(h.optional, 0x107), "オプションヘッダーの種類 0x107");
    ExpectRefused(changed(h.directories + 36, 0x100), "署名");  // a certificate table
    ExpectRefused(changed(h.directories + 16, 0), "リソースがありません");
    ExpectRefused(changed(h.directories + 16, 0x3010), "先頭にありません");
    Bytes relocations = changed(h.directories + 40, 0x3000);
    Set(relocations, h.directories + 44, 0x10, 4);
    ExpectRefused(relocations, "データディレクトリ 5");
    ExpectRefused(changed(h.optional + 36, 0x300), "FileAlignment 0x300");
    ExpectRefused(changed(h.optional + 32, 0x100), "SectionAlignment 0x100");
    ExpectRefused(changed(h.optional + 56, 0x5000), "SizeOfImage");
    ExpectRefused(changed(h.optional + 60, 0x100), "SizeOfHeaders");
    ExpectRefused(changed(h.directories - 4, 2), "リソースの欄がありません");
    Bytes overlapping = MakeImage(false, {{".rsrc", ResourceTree(PlayerResources(), 0x1000)}}, 0);
    Set(overlapping, h.optional + 60, 0x600, 4);
    ExpectRefused(overlapping, "ヘッダーと重なっています");
    ExpectRefused(player, "アイコン（ICO）ファイルではありません", Text("not an icon"));

    Bytes resourcesFirst = MakeImage(
        false, {{".rsrc", ResourceTree(PlayerResources(), 0x1000)}, {".reloc", Bytes(0x10, 1)}}, 0);
    ExpectRefused(resourcesFirst, "最後のセクションではありません");
    const Bytes unreadable =
        MakeImage(false, {{".rsrc", ResourceTree(PlayerResources(), 0x1000)}}, 0, 16);
    ExpectRefused(unreadable, "パッケージの読み手がイメージの終わりを見つけられません");
    std::vector<Resource> twoGroups = PlayerResources();
    twoGroups.push_back(
        {std::uint16_t{14}, std::uint16_t{8}, std::uint16_t{kUsEnglish}, 0, Text("g")});
    ExpectRefused(MakePlayer(false, twoGroups), "アイコングループが複数");
}

// A player whose resource section holds the tree made by `build`.
Bytes PlayerWithTree(const std::function<Bytes(std::uint32_t rva)>& build) {
    return MakeImage(false, {{".text", Bytes(0x20, 0xCC)}, {".rsrc", build(0x2000)}}, 1);
}

TEST(IconRewriteRefusals, MalformedResourceTrees) {
    // The root's entry, then depth - 1 directories, then the data.
    auto tree = [](int depth) {
        return [=](std::uint32_t rva) {
            TreeWriter w(rva, 1);
            std::uint32_t target = w.Data(Text("data"));
            for (int level = depth; level > 1; --level)
                target = w.Directory({{std::uint16_t{1}, target}});
            return w.Root({{std::uint16_t{24}, target}});
        };
    };
    ExpectRefused(PlayerWithTree(tree(2)), "階層が足りません");
    ExpectRefused(PlayerWithTree(tree(4)), "階層が深すぎます");
    EXPECT_NO_THROW(ReplaceIconResources(PlayerWithTree(tree(3)), CharacterIcon()));

    // Root (0), data entry (24) and its 100 bytes, the language directory (140), the name
    // directory (164) with its entry at 180, then the name's string.
    auto patched = [](std::size_t at, std::uint32_t value) {
        Bytes image = PlayerWithTree([](std::uint32_t rva) {
            TreeWriter w(rva, 1);
            const std::uint32_t data = w.Data(Bytes(100, 'x'));
            const std::uint32_t name = w.Directory({{std::uint16_t{1}, data}});
            return w.Root({{std::uint16_t{24}, w.Directory({{u"NAME", name}})}});
        });
        Set(image, 0x600 + at, value, 4);  // the section's raw data starts at 0x600
        return image;
    };
    ExpectRefused(patched(20, kFlag), "同じディレクトリを二度");  // the root's child is the root
    ExpectRefused(patched(12, 0xFFFF0000), "範囲外");             // 65,535 entries
    ExpectRefused(patched(24, 0x2000 + 0x1000), "リソースセクションの外");  // data entry's RVA
    ExpectRefused(patched(28, 0x10000), "リソースセクションの外");          // its size
    ExpectRefused(patched(180, kFlag | 0x7FFFFFF0), "範囲外");              // the name's place
    ExpectRefused(patched(16, 0x10000), "大きすぎます");                    // type id 65,536

    // Two languages sharing one data entry: more bytes copied out than the section holds.
    ExpectRefused(PlayerWithTree([](std::uint32_t rva) {
                      TreeWriter w(rva, 1);
                      const std::uint32_t data = w.Data(Bytes(200, 'x'));
                      const std::uint32_t name =
                          w.Directory({{std::uint16_t{1}, data}, {std::uint16_t{2}, data}});
                      return w.Root({{std::uint16_t{24}, w.Directory({{std::uint16_t{1}, name}})}});
                  }),
                  "データが重なっています");
}

std::optional<Bytes> BuiltPlayer(const char* build) {
    std::ifstream stream(
        std::filesystem::path(TOVALIN_SOURCE_DIR) / "build" / build / "tovalin-player.exe",
        std::ios::binary);
    if (!stream)
        return std::nullopt;
    return Bytes((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
}

TEST(IconRewriteOnBuiltPlayers, ResourcesAreLastAndTheRewriteKeepsThePlayerWhole) {
    int found = 0;
    for (const char* build : {"mingw", "mingw64"}) {
        const std::optional<Bytes> player = BuiltPlayer(build);
        if (!player)
            continue;
        ++found;
        SCOPED_TRACE(build);
        const Headers h = ReadHeaderOffsets(*player);
        const std::size_t last = h.table + 40 * (h.count - 1);
        EXPECT_EQ(std::string(player->begin() + last, player->begin() + last + 5), ".rsrc");
        EXPECT_EQ(Get(*player, h.optional + 64, 4), ComputePeChecksum(*player))
            << "the linker's checksum";
        const Bytes out = ReplaceIconResources(*player, CharacterIcon());
        EXPECT_EQ(static_cast<std::size_t>(package::EXESize(out)), out.size());
        std::vector<Resource> kept = ReadResources(out);
        std::erase_if(kept, [](const Resource& r) {
            return r.type == Key{std::uint16_t{3}} || r.type == Key{std::uint16_t{14}};
        });
        EXPECT_EQ(kept, ReadResources(*player)) << "version and manifest byte for byte";
    }
    if (found == 0) {
        if (std::getenv("TOVALIN_REQUIRE_PLAYERS"))
            FAIL() << "no built player";
        GTEST_SKIP() << "no player built (presets mingw, mingw64)";
    }
}

TEST(PeChecksum, WordsAreAddedWithTheCarryFoldedBackThenTheLength) {
    // MZ, e_lfanew 0x40, "PE", the magic; junk in the checksum field (0x98) that must not count;
    // two 0xFFFF words that carry; an odd length, whose last byte is padded with zero.
    Bytes image(0xA1, 0);
    Set(image, 0, 0x5A4D, 2);
    Set(image, 60, 0x40, 4);
    Set(image, 0x40, 0x4550, 4);
    Set(image, 0x58, 0x10B, 2);
    Set(image, 0x98, 0xDEADBEEF, 4);
    Set(image, 0x70, 0xFFFFFFFF, 4);
    image[0xA0] = 0x12;
    // 0x5A4D + 0x40 + 0x4550 + 0x10B = 0xA0E8; adding 0xFFFF and folding the carry back leaves
    // it as it was, twice; + 0x12 = 0xA0FA; + the length 0xA1 = 0xA19B.
    EXPECT_EQ(ComputePeChecksum(image), 0xA19Bu);
    EXPECT_THROW(ComputePeChecksum(Text("MZ")), PackError);
}

}  // namespace
}  // namespace tovalin::pack

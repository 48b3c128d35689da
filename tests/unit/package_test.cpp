#include "package/package.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

namespace tovalin::package {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Kind = PackageProblem::Kind;

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

void Put(Bytes& bytes, std::size_t offset, std::uint32_t value, int width) {
    if (bytes.size() < offset + static_cast<std::size_t>(width)) {
        bytes.resize(offset + static_cast<std::size_t>(width));
    }
    for (int i = 0; i < width; ++i) {
        bytes[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

struct Section {
    std::uint32_t pointer;
    std::uint32_t size;
};

constexpr std::size_t kPeOffset = 0x80;

enum class Image { k32, k64 };

// Where the section table starts: after the signature, the file header and the optional header
// of the image's kind (224 bytes for 32-bit, 240 for PE32+).
std::size_t TableOffset(Image kind) {
    return kPeOffset + 4 + 20 + (kind == Image::k64 ? 240 : 224);
}

// A minimal image: the two signatures, the optional header's magic, a section count and a
// section table where the image's kind puts it.
Bytes MakeImage(const std::vector<Section>& sections, std::size_t fileSize = 0x400,
                Image kind = Image::k32) {
    Bytes image(fileSize, 0);
    Put(image, 0, 0x5A4D, 2);
    Put(image, 60, kPeOffset, 4);
    Put(image, kPeOffset, 0x00004550, 4);
    Put(image, kPeOffset + 6, static_cast<std::uint32_t>(sections.size()), 2);
    Put(image, kPeOffset + 24, kind == Image::k64 ? 0x20B : 0x10B, 2);
    for (std::size_t i = 0; i < sections.size(); ++i) {
        std::size_t entry = TableOffset(kind) + 40 * i;
        Put(image, entry + 16, sections[i].size, 4);
        Put(image, entry + 20, sections[i].pointer, 4);
    }
    return image;
}

Bytes Join(Bytes head, std::string_view tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// An image of `imageEnd` bytes followed by the given package text.
Bytes WithPackage(std::string_view package, std::size_t imageEnd = 0x400, Image kind = Image::k32) {
    return Join(MakeImage({{0x200, static_cast<std::uint32_t>(imageEnd - 0x200)}}, imageEnd, kind),
                package);
}

std::string Lines(std::initializer_list<std::string_view> lines) {
    std::string text;
    for (std::string_view line : lines)
        text += std::string(line) + "\r\n";
    return text;
}

// A length line that states the body's real size.
std::string Package(std::string_view body, std::string_view data = "") {
    return std::to_string(body.size()) + "\r\n" + std::string(body) + std::string(data);
}

// ---- EXESize -------------------------------------------------------------------------------

TEST(ExeSize, EndsAtTheLastTableEntryEvenWhenItIsNotTheFurthest) {
    EXPECT_EQ(EXESize(MakeImage({{0x200, 0x100}, {0x300, 0x100}})), 0x400);
    // Out of file order: the earlier entry ends further out, the last one still decides.
    EXPECT_EQ(EXESize(MakeImage({{0x400, 0x800}, {0x200, 0x200}})), 0x400);
}

TEST(ExeSize, RefusesBytesWithoutBothSignatures) {
    Bytes image = MakeImage({{0x200, 0x200}});
    Bytes noMz = image;
    noMz[0] = 'X';
    EXPECT_EQ(EXESize(noMz), 0);
    Bytes noPe = image;
    noPe[kPeOffset + 1] = 'X';
    EXPECT_EQ(EXESize(noPe), 0);
    // Only the first two bytes of the four-byte PE signature count.
    Bytes looseSignature = image;
    looseSignature[kPeOffset + 2] = 'X';
    EXPECT_EQ(EXESize(looseSignature), 0x400);
    EXPECT_EQ(EXESize(Bytes{}), 0);
    EXPECT_EQ(EXESize(Bytes{'M', 'Z'}), 0);
}

TEST(ExeSize, StaysInsideTheBytesWhateverTheOffsetsSay) {
    Bytes image = MakeImage({{0x200, 0x200}});
    Bytes negative = image;
    Put(negative, 60, 0xFFF0, 2);  // e = -16
    EXPECT_EQ(EXESize(negative), 0);
    Bytes farAway = image;
    Put(farAway, 60, 0x7FF0, 2);
    EXPECT_EQ(EXESize(farAway), 0);
    Bytes noSections = MakeImage({});
    EXPECT_EQ(EXESize(noSections), 0);

    std::size_t entry = kPeOffset + 248 + 16;
    Bytes cutBeforeEntry(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(entry + 3));
    EXPECT_EQ(EXESize(cutBeforeEntry), 0);
    // SizeOfRawData read, PointerToRawData cut off: what was read so far.
    Bytes cutInsideEntry(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(entry + 6));
    EXPECT_EQ(EXESize(cutInsideEntry), 0x200);
    Bytes cutAtPe(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(kPeOffset + 1));
    EXPECT_EQ(EXESize(cutAtPe), 0);
}

TEST(ExeSize, UsesOnlyTheLowByteOfTheSectionCount) {
    Bytes image = MakeImage({{0x200, 0x100}, {0x300, 0x100}});
    Put(image, kPeOffset + 6, 0x0101, 2);  // 257 sections: only the first entry is used
    EXPECT_EQ(EXESize(image), 0x300);
}

TEST(ExeSize, FindsTheSectionTableOfA64BitImageAfterItsLongerOptionalHeader) {
    EXPECT_EQ(EXESize(MakeImage({{0x200, 0x100}, {0x300, 0x180}}, 0x400, Image::k64)), 0x480);
    EXPECT_EQ(EXESize(MakeImage({{0x400, 0x800}, {0x200, 0x200}}, 0x400, Image::k64)), 0x400);
    // The same bytes read as a 32-bit image would land 16 bytes early, inside the wrong entry.
    Bytes image = MakeImage({{0x200, 0x100}}, 0x400, Image::k64);
    Put(image, kPeOffset + 24, 0x10B, 2);
    EXPECT_NE(EXESize(image), 0x300);
    // A PE32+ image cut inside its last entry keeps what was read, as a 32-bit one does.
    std::size_t entry = TableOffset(Image::k64) + 16;
    Bytes cut(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(entry + 6));
    Put(cut, kPeOffset + 24, 0x20B, 2);
    EXPECT_EQ(EXESize(cut), 0x100);
}

TEST(ExeSize, Keeps224BytesForEveryImageThatIsNotPe32Plus) {
    // The optional-header size field of the file header is never read, and a magic other
    // than 0x20B (a ROM image, garbage) keeps the fixed 32-bit layout.
    Bytes image = MakeImage({{0x200, 0x100}});
    Put(image, kPeOffset + 20, 240, 2);
    EXPECT_EQ(EXESize(image), 0x300);
    Put(image, kPeOffset + 24, 0x107, 2);
    EXPECT_EQ(EXESize(image), 0x300);
}

TEST(ExeSize, SaturatesInsteadOfWrappingBelowZero) {
    EXPECT_EQ(EXESize(MakeImage({{0xFFFFFF00u, 0x200}})), kMax);
    EXPECT_EQ(EXESize(MakeImage({{0x7FFFFF00u, 0xFF}})), kMax);
    EXPECT_EQ(EXESize(MakeImage({{0x80000000u, 0}})), kMax);
}

// ---- Lines and numbers ---------------------------------------------------------------------

TEST(PackageLine, EndsAtCrOrCrLfButNotAtALoneLf) {
    std::string text = "ab\r\ncd\ref\ngh\r\rij";
    Bytes bytes(text.begin(), text.end());
    PackageLine first = ReadPackageLine(bytes, 0);
    EXPECT_EQ(first.text, "ab");
    EXPECT_EQ(first.next, 4u);
    PackageLine second = ReadPackageLine(bytes, first.next);
    EXPECT_EQ(second.text, "cd");
    PackageLine third = ReadPackageLine(bytes, second.next);
    EXPECT_EQ(third.text, "ef\ngh");
    PackageLine empty = ReadPackageLine(bytes, third.next);
    EXPECT_EQ(empty.text, "");
    PackageLine last = ReadPackageLine(bytes, empty.next);
    EXPECT_EQ(last.text, "ij");
    EXPECT_EQ(last.next, bytes.size());
    EXPECT_EQ(ReadPackageLine(bytes, bytes.size() + 5).text, "");
}

TEST(LeadingNumber, ReadsLikeANumberParserAndSaturates) {
    EXPECT_EQ(LeadingNumber("1417"), 1417);
    EXPECT_EQ(LeadingNumber("  \t12abc"), 12);
    EXPECT_EQ(LeadingNumber("+7"), 7);
    EXPECT_EQ(LeadingNumber("-30"), -30);
    EXPECT_EQ(LeadingNumber("12 34"), 12);
    EXPECT_EQ(LeadingNumber(""), 0);
    EXPECT_EQ(LeadingNumber("abc"), 0);
    EXPECT_EQ(LeadingNumber("-"), 0);
    EXPECT_EQ(LeadingNumber("2147483647"), kMax);
    EXPECT_EQ(LeadingNumber("2147483648"), kMax);
    EXPECT_EQ(LeadingNumber("99999999999999999999999999"), kMax);
    EXPECT_EQ(LeadingNumber("-2147483648"), kMin);
    EXPECT_EQ(LeadingNumber("-99999999999999999999999999"), kMin);
}

// ---- ParsePackageHeader --------------------------------------------------------------------

// The package the authoring tool writes for an image ending at 90,112 with an icon of 2,238
// bytes and 50 frames, padded so that the header body is exactly 1,417 bytes.
class WorkedExample : public testing::TestWithParam<Image> {};
INSTANTIATE_TEST_SUITE_P(BothImageKinds, WorkedExample, testing::Values(Image::k32, Image::k64));

TEST_P(WorkedExample, FromTheAuthoringTool) {
    constexpr std::size_t kImageEnd = 90112;
    std::string body = Lines({"VER100", "ICOchara.ico", "SIZ2238"});
    std::size_t dataSize = 2238;
    for (int i = 1; i <= 50; ++i) {
        std::string number = (i < 10 ? "0" : "") + std::to_string(i);
        std::size_t length = 1000 + static_cast<std::size_t>(i);
        body += Lines({"FIL" + number + "_chara.gif", "SIZ" + std::to_string(length)});
        dataSize += length;
    }
    body += Lines({"CHA3", "MOV浮遊", "LOC乱数", "ANI速い", "UVRVer 2.0"});
    std::string copyright = "CPY";
    copyright.resize(1417 - body.size() - 2, 'x');
    body += Lines({copyright});
    ASSERT_EQ(body.size(), 1417u);
    std::string data(dataSize, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 7);
    Bytes file = WithPackage(Package(body, data), kImageEnd, GetParam());
    ASSERT_EQ(EXESize(file), 90112);

    PackageHeader header = ParsePackageHeader(file, EXESize(file));
    EXPECT_EQ(header.dataStart, 91536);
    ASSERT_EQ(header.files.size(), 51u);
    EXPECT_EQ(header.files[0].szFileName, "chara.ico");
    EXPECT_EQ(header.files[0].nOffset, 91536);
    EXPECT_EQ(header.files[0].nLen, 2238);
    EXPECT_EQ(header.files[1].szFileName, "01_chara.gif");
    EXPECT_EQ(header.files[1].nOffset, 93773 + 1);
    EXPECT_EQ(header.files[50].szFileName, "50_chara.gif");
    const cFile& last = header.files.back();
    EXPECT_EQ(static_cast<std::size_t>(last.nOffset - 1 + last.nLen), file.size());
    EXPECT_EQ(file[static_cast<std::size_t>(header.files[1].nOffset - 1)],
              static_cast<std::uint8_t>(2238 * 7));
    EXPECT_EQ(header.gCount, "3");
    EXPECT_EQ(header.gMove, "浮遊");
    EXPECT_EQ(header.gLocation, "乱数");
    EXPECT_EQ(header.gAnim, "速い");
    EXPECT_EQ(header.gVersion, "Ver 2.0");
    EXPECT_EQ(header.gCopyright, copyright.substr(3));
    EXPECT_EQ(header.overflowRecord, 0u);
    EXPECT_EQ(header.lines.size(), 1u + 3 + 100 + 6);
    EXPECT_EQ(header.lines.front(), "1417");
    EXPECT_FALSE(CheckPackage(header, file.size()));
}

TEST(ParseHeader, DataStartComesFromTheLengthLineAlone) {
    // The length line claims 10 bytes more than the body holds: the records move with it.
    std::string body = Lines({"ICOa.ico", "SIZ4"});
    Bytes file = WithPackage(std::to_string(body.size() + 10) + "\r\n" + body);
    PackageHeader header = ParsePackageHeader(file, 0x400);
    ASSERT_EQ(header.files.size(), 1u);
    EXPECT_EQ(header.files[0].nOffset, 0x400 + 2 + 2 + static_cast<int>(body.size()) + 10 + 1);
    // Leading blanks and trailing junk in the length line, and no number at all.
    Bytes blanks = WithPackage("  12abc\r\n" + body);
    EXPECT_EQ(ParsePackageHeader(blanks, 0x400).dataStart, 0x400 + 12 + 7 + 3);
    Bytes none = WithPackage("x\r\n" + body);
    EXPECT_EQ(ParsePackageHeader(none, 0x400).dataStart, 0x400 + 0 + 1 + 3);
}

TEST(ParseHeader, ValuesAreRawUntrimmedAndTheLastLineWins) {
    std::string body = Lines({"MOV直線", "MOV静止 ", "LOC 中心", "CHA", "UVR", "CPY\xE3\x81\x82"});
    PackageHeader header = ParsePackageHeader(WithPackage(Package(body)), 0x400);
    EXPECT_EQ(header.gMove, "静止 ");
    EXPECT_EQ(header.gLocation, " 中心");
    EXPECT_EQ(header.gCount, "");
    EXPECT_EQ(header.gVersion, "");
    EXPECT_EQ(header.gCopyright, "\xE3\x81\x82");
    EXPECT_TRUE(header.files.empty());
}

TEST(ParseHeader, LowerCaseShortOrUnknownTagEndsTheHeader) {
    for (std::string_view stopper : {"siz10", "XYZ1", "SI", "", "VE"}) {
        std::string body = Lines({"ICOa.ico", "SIZ2", "CHA3"}) + Lines({stopper}) +
                           Lines({"FILb.gif", "SIZ3", "MOV跳ねる"});
        PackageHeader header = ParsePackageHeader(WithPackage(Package(body, "12345")), 0x400);
        ASSERT_EQ(header.files.size(), 1u) << "stopper: " << stopper;
        EXPECT_EQ(header.gCount, "3");
        EXPECT_EQ(header.gMove, "") << "stopper: " << stopper;
        EXPECT_EQ(header.lines.size(), 4u);
    }
}

TEST(ParseHeader, SizLinesShareThePendingNameAndVerChangesNothing) {
    std::string plain = Lines({"ICOa.ico", "SIZ2", "FILb.gif", "SIZ3", "SIZ4", "CHA5"});
    std::string withVer = Lines({"VER100", "ICOa.ico", "VERxyz", "SIZ2", "FILb.gif", "VER", "SIZ3",
                                 "SIZ4", "VER-1", "CHA5"});
    PackageHeader a = ParsePackageHeader(WithPackage(Package(plain)), 0x400);
    PackageHeader b = ParsePackageHeader(WithPackage(Package(withVer)), 0x400);
    ASSERT_EQ(a.files.size(), 3u);
    EXPECT_EQ(a.files[1].szFileName, "b.gif");
    EXPECT_EQ(a.files[2].szFileName, "b.gif");
    EXPECT_EQ(a.files[2].nOffset, a.files[1].nOffset + 3);
    ASSERT_EQ(b.files.size(), 3u);
    EXPECT_EQ(b.gCount, "5");
    EXPECT_EQ(b.files[2].szFileName, "b.gif");
    EXPECT_EQ(b.files[2].nOffset - b.dataStart, a.files[2].nOffset - a.dataStart);
}

TEST(ParseHeader, LoneCrEndsALineAndLoneLfStaysInTheName) {
    std::string body = "ICOa.ico\rSIZ2\rFILb\nc.gif\r\nSIZ3\r\n";
    PackageHeader header = ParsePackageHeader(WithPackage(Package(body, "12345")), 0x400);
    ASSERT_EQ(header.files.size(), 2u);
    EXPECT_EQ(header.files[0].szFileName, "a.ico");
    EXPECT_EQ(header.files[1].szFileName, "b\nc.gif");
    std::optional<PackageProblem> problem = CheckPackage(header, 0x400 + 40);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->kind, Kind::kBadName);
    EXPECT_EQ(problem->record, 2u);
}

TEST(ParseHeader, NothingToReadGivesNoFiles) {
    Bytes image = MakeImage({{0x200, 0x200}});
    for (std::int32_t imageEnd : {-5, 0x400, 0x500}) {
        PackageHeader header = ParsePackageHeader(image, imageEnd);
        EXPECT_TRUE(header.files.empty());
        std::optional<PackageProblem> problem = CheckPackage(header, image.size());
        ASSERT_TRUE(problem);
        EXPECT_EQ(problem->kind, Kind::kNoFiles);
    }
    // A length line without a break and nothing after it.
    EXPECT_TRUE(ParsePackageHeader(WithPackage("17"), 0x400).files.empty());
}

TEST(ParseHeader, RunningPositionOverflowStopsAtTheRecordThatCausedIt) {
    std::string body = Lines({"ICOa.ico", "SIZ2", "FILb.gif", "SIZ2147483647", "CHA3"});
    PackageHeader header = ParsePackageHeader(WithPackage(Package(body, "ab")), 0x400);
    ASSERT_EQ(header.files.size(), 1u);
    EXPECT_EQ(header.overflowRecord, 2u);
    EXPECT_EQ(header.gCount, "");
    std::optional<PackageProblem> problem = CheckPackage(header, 0x1000);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->kind, Kind::kPositionOverflow);
    EXPECT_EQ(problem->record, 2u);

    // A huge length line pushes even the first record out of range.
    Bytes huge = WithPackage("99999999999999\r\n" + Lines({"ICOa.ico", "SIZ1"}));
    PackageHeader first = ParsePackageHeader(huge, 0x400);
    EXPECT_TRUE(first.files.empty());
    EXPECT_EQ(first.overflowRecord, 1u);
    ASSERT_TRUE(CheckPackage(first, huge.size()));
    EXPECT_EQ(CheckPackage(first, huge.size())->kind, Kind::kPositionOverflow);
}

// ---- CheckPackage --------------------------------------------------------------------------

PackageHeader HeaderOf(std::vector<cFile> files) {
    PackageHeader header;
    header.files = std::move(files);
    return header;
}

TEST(CheckPackage, ReportsTheFirstRecordThatCannotBeUnpacked) {
    auto check = [](std::vector<cFile> files, std::uint64_t size) {
        return CheckPackage(HeaderOf(std::move(files)), size);
    };
    EXPECT_FALSE(check({{"a.ico", 1, 10}, {"01_a.gif", 11, 10}}, 20));
    EXPECT_FALSE(check({{"a.ico", 1, 10}, {"a.ico", 1, 10}}, 10));  // duplicates overwrite

    auto kindOf = [&](std::vector<cFile> files, std::uint64_t size) {
        std::optional<PackageProblem> problem = check(std::move(files), size);
        return problem ? std::make_pair(problem->kind, problem->record)
                       : std::make_pair(Kind::kNoFiles, std::size_t{999});
    };
    using P = std::pair<Kind, std::size_t>;
    EXPECT_EQ(kindOf({}, 100), P(Kind::kNoFiles, 0));
    EXPECT_EQ(kindOf({{"a.ico", 1, 10}}, 20), P(Kind::kNoFrames, 0));
    EXPECT_EQ(kindOf({{"a.ico", 1, 10}, {"01_a.gif", 11, 11}}, 20), P(Kind::kPastEnd, 2));
    EXPECT_EQ(kindOf({{"a.ico", 1, 0}}, 20), P(Kind::kBadLength, 1));
    EXPECT_EQ(kindOf({{"a.ico", 1, -4}}, 20), P(Kind::kBadLength, 1));
    EXPECT_EQ(kindOf({{"a.ico", 0, 5}}, 20), P(Kind::kBeforeStart, 1));
    EXPECT_EQ(kindOf({{"a.ico", kMin, 5}}, 20), P(Kind::kBeforeStart, 1));
    EXPECT_EQ(kindOf({{"a.ico", kMax, kMax}}, 20), P(Kind::kPastEnd, 1));
    EXPECT_EQ(kindOf({{"a.ico", 1, 5}, {"", 6, 5}}, 20), P(Kind::kBadName, 2));
    // A bad name is reported before the length and range of the same record.
    EXPECT_EQ(kindOf({{"..", 1, 0}}, 0), P(Kind::kBadName, 1));
    std::optional<PackageProblem> problem = check({{"a.ico", 1, 5}, {"../x", 6, 5}}, 20);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->name, "../x");
}

TEST(CheckPackage, SizBeforeAnyNameGivesAnUnusableEmptyName) {
    PackageHeader header = ParsePackageHeader(
        WithPackage(Package(Lines({"SIZ2", "ICOa.ico", "SIZ2"}), "abcd")), 0x400);
    ASSERT_EQ(header.files.size(), 2u);
    EXPECT_EQ(header.files[0].szFileName, "");
    std::optional<PackageProblem> problem = CheckPackage(header, 0x400 + 100);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->kind, Kind::kBadName);
    EXPECT_EQ(problem->record, 1u);
}

TEST(PackagedName, RefusesWhatWouldLeaveTheFolderOrNameADevice) {
    for (std::string_view name :
         {"",          ".",        "..",        "...",        " ",
          ". .",       "a\\b.gif", "a/b.gif",   "..\\x",      "C:x.gif",
          "CON",       "con",      "Con.txt",   "CON.tar.gz", "NUL ",
          "nul.",      "AUX .gif", "prn.ico",   "COM1",       "com9.gif",
          "LPT3.ico",  "CONIN$",   "conout$.x", "a\tb.gif",   "a\x7f\x01.gif",
          "a*b",       "a?b",      "a<b",       "a>b",        "a|b",
          "\"q\".gif", "\x95",     "a\x95",     "\x95/x.gif", "\x95\x0a.gif"}) {
        EXPECT_FALSE(IsSafePackagedName(name)) << '"' << name << '"';
    }
}

TEST(PackagedName, AcceptsPlainNamesIncludingBackslashTrailBytes) {
    for (std::string_view name :
         {"chara.ico", "01_chara.gif", "\x95\x5C.gif" /* 表 */, "\x83\x5C\x83\x74\x83\x67.gif",
          "\x95\x5C\x8E\xA6.gif", "\xB7\xAC\xD7.gif" /* half-width katakana */, "COM10.gif",
          "CONSOLE.gif", "con_x.gif", "LPT.gif", "a.", ".hidden", "a b.gif", "a\x7f.gif"}) {
        EXPECT_TRUE(IsSafePackagedName(name)) << '"' << name << '"';
    }
}

TEST(ProblemMessage, NamesTheProblemAndTheRecord) {
    std::vector<std::string> texts;
    for (Kind kind : {Kind::kNoFiles, Kind::kNoFrames, Kind::kBadName, Kind::kBadLength,
                      Kind::kPastEnd, Kind::kPositionOverflow, Kind::kBeforeStart}) {
        std::string text = ProblemMessage(PackageProblem{kind, 7, "x"}, "名前.gif");
        EXPECT_TRUE(text.starts_with("パッケージ")) << text;
        const bool wholePackage = kind == Kind::kNoFiles || kind == Kind::kNoFrames;
        if (!wholePackage) {
            EXPECT_NE(text.find('7'), std::string::npos) << text;
        }
        if (!wholePackage && kind != Kind::kPositionOverflow) {
            EXPECT_NE(text.find("「名前.gif」"), std::string::npos) << text;
        }
        for (const std::string& other : texts)
            EXPECT_NE(text, other);
        texts.push_back(text);
    }
}

}  // namespace
}  // namespace tovalin::package

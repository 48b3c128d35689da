#include "package/package.h"

#include <algorithm>
#include <array>
#include <limits>

#include "platform/byte_order.h"

namespace tovalin::package {

namespace {

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

bool FitsInt32(std::int64_t value) {
    return value >= kInt32Min && value <= kInt32Max;
}

// Little-endian reads that refuse to leave the buffer; offsets arrive as signed 64-bit so that a
// negative PE offset or a section index computed from a zero count is simply out of range.
std::optional<std::uint32_t> ReadLE(std::span<const std::uint8_t> file, std::int64_t offset,
                                    int width) {
    if (offset < 0 ||
        static_cast<std::uint64_t>(offset) + static_cast<std::uint64_t>(width) > file.size()) {
        return std::nullopt;
    }
    return platform::ReadLittle(file, static_cast<std::size_t>(offset), width);
}

std::int32_t SaturatedInt32(std::uint64_t value) {
    return static_cast<std::int32_t>(std::min<std::uint64_t>(value, kInt32Max));
}

// What a header line's first three letters make of the rest: nothing more ("VER"), the name of
// the next record ("ICO", "FIL"), its size ("SIZ"), or one of the header's texts.
enum class Tag { kVer, kName, kSize, kText };

struct HeaderTag {
    std::string_view letters;
    Tag tag;
    std::string PackageHeader::*text = nullptr;  // for kText
};

// The line's tag, or nullptr for any other line, which ends the header.
const HeaderTag* TagOf(std::string_view line) {
    static constexpr std::array<HeaderTag, 10> kTags{{
        {"VER", Tag::kVer},
        {"ICO", Tag::kName},
        {"FIL", Tag::kName},
        {"SIZ", Tag::kSize},
        {"CHA", Tag::kText, &PackageHeader::gCount},
        {"MOV", Tag::kText, &PackageHeader::gMove},
        {"LOC", Tag::kText, &PackageHeader::gLocation},
        {"ANI", Tag::kText, &PackageHeader::gAnim},
        {"UVR", Tag::kText, &PackageHeader::gVersion},
        {"CPY", Tag::kText, &PackageHeader::gCopyright},
    }};
    const std::string_view letters = line.substr(0, 3);
    for (const HeaderTag& known : kTags) {
        if (letters == known.letters)
            return &known;
    }
    return nullptr;
}

// Appends the record a "SIZ" line describes; false when its end no longer fits the 32-bit
// running position, which ends the header.
bool AddRecord(PackageHeader& header, const std::string& name, std::string_view value,
               std::int64_t& position) {
    std::int32_t length = LeadingNumber(value);
    std::int64_t end = position + length;
    if (!FitsInt32(position) || !FitsInt32(end)) {
        header.overflowRecord = header.files.size() + 1;
        return false;
    }
    header.files.push_back(cFile{name, static_cast<std::int32_t>(position), length});
    position = end;
    return true;
}

bool IsLeadByte(std::uint8_t c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
bool IsTrailByte(std::uint8_t c) {
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

bool IsForbiddenSingleByte(std::uint8_t c) {
    if (c < 0x20)
        return true;
    switch (c) {
        case '\\':
        case '/':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
            return true;
        default:
            return false;
    }
}

// Walks the name character by character so that a trail byte (which may be 0x5C, the
// backslash) is never mistaken for a single-byte character.
bool HasForbiddenCharacter(std::string_view name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        auto c = static_cast<std::uint8_t>(name[i]);
        if (IsLeadByte(c)) {
            if (i + 1 >= name.size() || !IsTrailByte(static_cast<std::uint8_t>(name[i + 1]))) {
                return true;  // a broken double-byte character names something else on disk
            }
            ++i;
        } else if (IsForbiddenSingleByte(c)) {
            return true;
        }
    }
    return false;
}

char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The system maps these names to devices in every folder, whatever extension follows.
bool IsDeviceName(std::string_view name) {
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ')
        stem.remove_suffix(1);
    std::string upper;
    for (char c : stem)
        upper += AsciiUpper(c);
    static constexpr std::array<std::string_view, 6> kFixed{"CON", "PRN",    "AUX",
                                                            "NUL", "CONIN$", "CONOUT$"};
    if (std::find(kFixed.begin(), kFixed.end(), upper) != kFixed.end())
        return true;
    return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
           upper[3] >= '0' && upper[3] <= '9';
}

// Trailing dots and blanks are dropped when the system opens a file, so a name made of them
// alone ends up naming the folder itself.
bool IsOnlyDotsAndBlanks(std::string_view name) {
    return name.find_first_not_of(". ") == std::string_view::npos;
}

// The section table follows the signature (4 bytes), the file header (20) and the optional
// header: 224 bytes in a 32-bit image, whatever the file header says, and 240 in a 64-bit one
// (PE32+, magic 0x20B).
constexpr std::uint32_t kPe32PlusMagic = 0x20B;
std::int64_t SectionTableOffset(std::span<const std::uint8_t> file, std::int64_t e) {
    const bool pe32Plus = ReadLE(file, e + 24, 2) == kPe32PlusMagic;
    return e + 4 + 20 + (pe32Plus ? 240 : 224);
}

}  // namespace

std::int32_t EXESize(std::span<const std::uint8_t> file) {
    if (ReadLE(file, 0, 2) != 0x5A4Du)
        return 0;
    std::optional<std::uint32_t> peField = ReadLE(file, 60, 2);
    if (!peField)
        return 0;
    auto e = static_cast<std::int64_t>(static_cast<std::int16_t>(*peField));
    if (ReadLE(file, e, 2) != 0x4550u)
        return 0;
    std::optional<std::uint32_t> count = ReadLE(file, e + 6, 1);
    if (!count || *count == 0)
        return 0;
    std::int64_t entry =
        SectionTableOffset(file, e) + 40 * (static_cast<std::int64_t>(*count) - 1) + 16;
    std::uint64_t sum = 0;
    if (auto sizeOfRawData = ReadLE(file, entry, 4)) {
        sum += *sizeOfRawData;
        if (auto pointerToRawData = ReadLE(file, entry + 4, 4))
            sum += *pointerToRawData;
    }
    return SaturatedInt32(sum);
}

PackageLine ReadPackageLine(std::span<const std::uint8_t> file, std::size_t offset) {
    offset = std::min(offset, file.size());
    auto begin = file.begin() + static_cast<std::ptrdiff_t>(offset);
    auto cr = std::find(begin, file.end(), std::uint8_t{'\r'});
    std::string_view text(reinterpret_cast<const char*>(file.data()) + offset,
                          static_cast<std::size_t>(cr - begin));
    std::size_t next = offset + text.size();
    if (cr != file.end()) {
        ++next;
        if (next < file.size() && file[next] == '\n')
            ++next;
    }
    return PackageLine{text, next};
}

std::int32_t LeadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    std::uint64_t magnitude = 0;
    constexpr std::uint64_t kCap = static_cast<std::uint64_t>(kInt32Max) + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = std::min(kCap, magnitude * 10 + static_cast<std::uint64_t>(text[i] - '0'));
    }
    if (negative)
        return static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude));
    return SaturatedInt32(magnitude);
}

PackageHeader ParsePackageHeader(std::span<const std::uint8_t> file, std::int32_t imageEnd) {
    PackageHeader header;
    if (imageEnd < 0 || static_cast<std::uint64_t>(imageEnd) >= file.size())
        return header;

    PackageLine lengthLine = ReadPackageLine(file, static_cast<std::size_t>(imageEnd));
    header.lines.emplace_back(lengthLine.text);
    // The length line alone fixes where the data area starts: CR LF is counted as its break
    // whatever ended it, and the first byte is position 1.
    header.dataStart = std::int64_t{imageEnd} + LeadingNumber(lengthLine.text) +
                       static_cast<std::int64_t>(lengthLine.text.size()) + 2 + 1;

    std::int64_t position = header.dataStart;
    std::string pendingName;
    for (std::size_t offset = lengthLine.next; offset < file.size();) {
        PackageLine line = ReadPackageLine(file, offset);
        offset = line.next;
        const HeaderTag* known = TagOf(line.text);
        if (!known)
            break;
        std::string_view value = line.text.substr(3);
        header.lines.emplace_back(line.text);
        if (known->tag == Tag::kName) {
            pendingName = std::string(value);
        } else if (known->tag == Tag::kSize) {
            if (!AddRecord(header, pendingName, value, position))
                break;
        } else if (known->tag == Tag::kText) {
            header.*known->text = std::string(value);
        }
    }
    return header;
}

bool IsSafePackagedName(std::string_view cp932Name) {
    return !IsOnlyDotsAndBlanks(cp932Name) && !HasForbiddenCharacter(cp932Name) &&
           !IsDeviceName(cp932Name);
}

std::optional<PackageProblem> CheckPackage(const PackageHeader& header, std::uint64_t fileSize) {
    using Kind = PackageProblem::Kind;
    if (header.files.empty() && header.overflowRecord == 0) {
        return PackageProblem{Kind::kNoFiles, 0, {}};
    }
    for (std::size_t i = 0; i < header.files.size(); ++i) {
        const cFile& file = header.files[i];
        auto problem = [&](Kind kind) { return PackageProblem{kind, i + 1, file.szFileName}; };
        if (!IsSafePackagedName(file.szFileName))
            return problem(Kind::kBadName);
        if (file.nLen < 1)
            return problem(Kind::kBadLength);
        if (file.nOffset < 1)
            return problem(Kind::kBeforeStart);
        std::uint64_t lastByte =
            static_cast<std::uint64_t>(file.nOffset) - 1 + static_cast<std::uint64_t>(file.nLen);
        if (lastByte > fileSize)
            return problem(Kind::kPastEnd);
    }
    if (header.overflowRecord != 0) {
        return PackageProblem{Kind::kPositionOverflow, header.overflowRecord, {}};
    }
    // Without a frame the first window would be cut to a shape that was never built.
    if (header.files.size() < 2)
        return PackageProblem{Kind::kNoFrames, 0, {}};
    return std::nullopt;
}

std::string ProblemMessage(const PackageProblem& problem, std::string_view nameUtf8) {
    using Kind = PackageProblem::Kind;
    std::string name = "「" + std::string(nameUtf8) + "」";
    std::string number = std::to_string(problem.record);
    switch (problem.kind) {
        case Kind::kNoFiles:
            return "パッケージにファイルが含まれていません。";
        case Kind::kNoFrames:
            return "パッケージに画像が含まれていません。";
        case Kind::kBadName:
            return "パッケージに含まれるファイル名" + name + "（" + number +
                   "番目）は使用できません。";
        case Kind::kBadLength:
            return "パッケージに含まれるファイル" + name + "（" + number +
                   "番目）の長さが正しくありません。";
        case Kind::kPastEnd:
            return "パッケージに含まれるファイル" + name + "（" + number +
                   "番目）がファイルの終わりを越えています。";
        case Kind::kPositionOverflow:
            return "パッケージが大きすぎます（" + number +
                   "番目のファイルで位置が範囲を越えました）。";
        case Kind::kBeforeStart:
            return "パッケージに含まれるファイル" + name + "（" + number +
                   "番目）の位置が正しくありません。";
    }
    return "パッケージが壊れています。";
}

}  // namespace tovalin::package

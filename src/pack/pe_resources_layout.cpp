#include "pack/pe_resources_layout.h"

#include <algorithm>

#include "package/package.h"
#include "platform/byte_order.h"

namespace tovalin::pack {

namespace pe {
namespace {

constexpr std::uint32_t kPe32Magic = 0x10B, kPe32PlusMagic = 0x20B;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kMaxDataDirectories = 16;
// Larger alignments exist on paper only; refusing them keeps the padding written here small.
constexpr std::uint32_t kMaxFileAlignment = 0x10000;

bool IsPowerOfTwo(std::uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

std::size_t ChecksumField(const Bounded& file) {
    if (file.size() < 64 || file.U16(0) != 0x5A4D)
        throw PackError("PE形式の実行ファイルではありません（MZ ヘッダーがありません）。");
    const std::uint64_t pe = file.U32(60);
    if (file.U32(pe) != 0x4550)
        throw PackError("PE形式の実行ファイルではありません（PE 署名がありません）。");
    const std::uint32_t magic = file.U16(pe + 24);
    if (magic != kPe32Magic && magic != kPe32PlusMagic) {
        throw PackError("PE32／PE32+ 以外の実行ファイル（オプションヘッダーの種類 " + Hex(magic) +
                        "）には対応していません。");
    }
    return static_cast<std::size_t>(pe + 24 + 64);
}

std::vector<Section> ReadSections(const Bounded& file, std::uint64_t table, std::size_t count) {
    std::vector<Section> sections;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t at = table + kSectionHeaderSize * i;
        Section section;
        section.header = static_cast<std::size_t>(at);
        section.virtualSize = file.U32(at + 8);
        section.virtualAddress = file.U32(at + 12);
        section.rawSize = file.U32(at + 16);
        section.rawPointer = file.U32(at + 20);
        section.characteristics = file.U32(at + 36);
        sections.push_back(section);
    }
    return sections;
}

std::uint32_t Checksum(std::span<const std::uint8_t> image, std::size_t field) {
    auto byteAt = [&](std::size_t i) -> std::uint32_t {
        if (i >= image.size() || (i >= field && i < field + 4))
            return 0;
        return image[i];
    };
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < image.size(); i += 2) {
        sum += byteAt(i) | (byteAt(i + 1) << 8);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return sum + static_cast<std::uint32_t>(image.size());
}

}  // namespace

std::string Hex(std::uint64_t value) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[value % 16]);
        value /= 16;
    } while (value != 0);
    return "0x" + text;
}

std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

std::span<const std::uint8_t> Bounded::Range(std::uint64_t offset, std::uint64_t length) const {
    if (offset > bytes_.size() || length > bytes_.size() - offset)
        throw PackError(failure_);
    return bytes_.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
}

std::uint32_t Bounded::Get(std::uint64_t offset, int width) const {
    return platform::ReadLittle(Range(offset, static_cast<std::uint64_t>(width)), 0, width);
}

PeHeaders ReadHeaders(std::span<const std::uint8_t> image) {
    const Bounded file(image, kTruncatedHeaders);
    PeHeaders headers;
    headers.checksumField = ChecksumField(file);
    const std::uint64_t pe = headers.checksumField - 64 - 24;
    const std::size_t sectionCount = file.U16(pe + 6);
    const std::uint32_t optionalSize = file.U16(pe + 20);
    headers.optionalHeader = static_cast<std::size_t>(pe + 24);
    const bool plus = file.U16(headers.optionalHeader) == kPe32PlusMagic;
    headers.sectionAlignment = file.U32(headers.optionalHeader + 32);
    headers.fileAlignment = file.U32(headers.optionalHeader + 36);
    headers.sizeOfImage = file.U32(headers.optionalHeader + 56);
    headers.sizeOfHeaders = file.U32(headers.optionalHeader + 60);
    const std::uint64_t directoryCountField = headers.optionalHeader + (plus ? 108 : 92);
    headers.directoryTable = static_cast<std::size_t>(directoryCountField + 4);
    const std::size_t directoryCount =
        std::min<std::size_t>(file.U32(directoryCountField), kMaxDataDirectories);

    auto refuse = [](const std::string& what) {
        throw PackError("プレイヤーの PE ヘッダーが正しくありません（" + what + "）。");
    };
    if (directoryCount <= kResourceDirectory)
        refuse("データディレクトリにリソースの欄がありません");
    if (headers.directoryTable + kDirectoryEntrySize * directoryCount >
        headers.optionalHeader + optionalSize) {
        refuse("データディレクトリがオプションヘッダーに収まっていません");
    }
    if (sectionCount == 0)
        refuse("セクションがありません");
    const std::uint64_t table = headers.optionalHeader + optionalSize;
    if (table + kSectionHeaderSize * sectionCount > headers.sizeOfHeaders)
        refuse("セクションテーブルが SizeOfHeaders の外にあります");
    if (!IsPowerOfTwo(headers.fileAlignment) || headers.fileAlignment > kMaxFileAlignment)
        refuse("FileAlignment " + Hex(headers.fileAlignment));
    if (!IsPowerOfTwo(headers.sectionAlignment) ||
        headers.sectionAlignment < headers.fileAlignment) {
        refuse("SectionAlignment " + Hex(headers.sectionAlignment));
    }
    for (std::size_t i = 0; i < directoryCount; ++i) {
        headers.directories.push_back(
            DataDirectory{file.U32(headers.directoryTable + kDirectoryEntrySize * i),
                          file.U32(headers.directoryTable + kDirectoryEntrySize * i + 4)});
    }
    headers.sections = ReadSections(file, table, sectionCount);
    return headers;
}

// The package reader takes the end of the last section as the end of the image: anything
// after it would sit between the player and the package. And it finds the section table by
// fixed header sizes, so an image it would read differently cannot carry a package either.
void RequireBareImage(std::span<const std::uint8_t> image, const PeHeaders& headers) {
    const Section& last = headers.sections.back();
    const std::uint64_t imageEnd = std::uint64_t{last.rawPointer} + last.rawSize;
    if (imageEnd < image.size()) {
        throw PackError(
            "プレイヤーの最後のセクションの後にデータがあります（パッケージ付きの実行ファイルや"
            "署名付きの実行ファイルは書き換えられません）。");
    }
    if (imageEnd > image.size())
        throw PackError("プレイヤーのファイルが途中で切れています。");
    if (static_cast<std::uint64_t>(package::EXESize(image)) != image.size()) {
        throw PackError(
            "プレイヤーのヘッダーの形が標準と異なり、パッケージの読み手がイメージの終わりを"
            "見つけられません。");
    }
    if (headers.directories.size() > kSecurityDirectory &&
        headers.directories[kSecurityDirectory].size != 0) {
        throw PackError("署名付きのプレイヤーは書き換えられません。");
    }
}

// The resource section must be last in the table, in memory and in the file, hold the
// resource directory at its start and nothing any other directory points at: then it can be
// written anew and grow without moving anything else.
const Section& RequireResourcesLast(const PeHeaders& headers) {
    const DataDirectory resources = headers.directories[kResourceDirectory];
    if (resources.rva == 0 || resources.size == 0)
        throw PackError("プレイヤーにリソースがありません。");
    const Section& last = headers.sections.back();
    for (std::size_t i = 0; i + 1 < headers.sections.size(); ++i) {
        const Section& other = headers.sections[i];
        if (resources.rva >= other.virtualAddress &&
            resources.rva < other.virtualAddress + other.Extent()) {
            throw PackError("プレイヤーのリソースセクションが最後のセクションではありません。");
        }
        const bool beforeInMemory = other.virtualAddress + other.Extent() <= last.virtualAddress;
        const bool beforeInFile =
            other.rawSize == 0 ||
            std::uint64_t{other.rawPointer} + other.rawSize <= last.rawPointer;
        if (!beforeInMemory || !beforeInFile) {
            throw PackError(
                "プレイヤーのセクションの配置が正しくありません（リソースセクションより後ろに"
                "他のセクションがあります）。");
        }
    }
    // The headers stay in front of the rewritten section; they must not share bytes with it.
    if (last.rawPointer < headers.sizeOfHeaders) {
        throw PackError("プレイヤーのリソースセクションがヘッダーと重なっています。");
    }
    if (resources.rva != last.virtualAddress) {
        throw PackError("プレイヤーのリソースディレクトリが最後のセクションの先頭にありません。");
    }
    const std::uint64_t end = last.virtualAddress + last.Extent();
    for (std::size_t i = 0; i < headers.directories.size(); ++i) {
        const DataDirectory& other = headers.directories[i];
        if (i == kResourceDirectory || i == kSecurityDirectory || other.size == 0)
            continue;
        if (other.rva < end && std::uint64_t{other.rva} + other.size > last.virtualAddress) {
            throw PackError("プレイヤーのリソースセクションに他のデータ（データディレクトリ " +
                            std::to_string(i) + "）があります。");
        }
    }
    if (AlignUp(end, headers.sectionAlignment) != headers.sizeOfImage) {
        throw PackError("プレイヤーの SizeOfImage（" + Hex(headers.sizeOfImage) +
                        "）が最後のセクションと合いません。");
    }
    return last;
}

// The section holding the resource directory, for reading (it need not be last).
const Section& ResourceSection(const PeHeaders& headers) {
    const DataDirectory resources = headers.directories[kResourceDirectory];
    if (resources.rva == 0 || resources.size == 0)
        throw PackError("プレイヤーにリソースがありません。");
    for (const Section& section : headers.sections) {
        if (resources.rva >= section.virtualAddress &&
            resources.rva < section.virtualAddress +
                                std::min<std::uint64_t>(section.Extent(), section.rawSize)) {
            return section;
        }
    }
    throw PackError("プレイヤーのリソースディレクトリがどのセクションのデータにもありません。");
}

}  // namespace pe

std::uint32_t ComputePeChecksum(std::span<const std::uint8_t> image) {
    using namespace pe;
    return Checksum(image, ChecksumField(Bounded(image, kTruncatedHeaders)));
}

}  // namespace tovalin::pack

#include "pack/pe_resources.h"

#include <algorithm>
#include <array>
#include <limits>
#include <set>

#include "package/package.h"
#include "pack/icon.h"

namespace tovalin::pack {

namespace {

constexpr std::uint32_t kPe32Magic = 0x10B;
constexpr std::uint32_t kPe32PlusMagic = 0x20B;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kMaxDataDirectories = 16;
constexpr std::size_t kResourceDirectory = 2;
constexpr std::size_t kSecurityDirectory = 4;
constexpr std::uint32_t kInitializedData = 0x40;
// Larger alignments exist on paper only; refusing them keeps the padding written here small.
constexpr std::uint32_t kMaxFileAlignment = 0x10000;
constexpr std::uint32_t kSubdirectoryFlag = 0x80000000u;
constexpr std::size_t kDirectoryHeaderSize = 16;
constexpr std::size_t kDirectoryEntrySize = 8;
constexpr std::size_t kDataEntrySize = 16;
constexpr std::size_t kDataAlignment = 8;
// Type, name, language: the only depth the loader's lookups know.
constexpr int kResourceLevels = 3;

const std::string kTruncatedHeaders = "プレイヤーの PE ヘッダーが途中で切れています。";
const std::string kBrokenDirectory = "プレイヤーのリソースディレクトリが壊れています";

std::string Hex(std::uint64_t value) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), kDigits[value % 16]);
        value /= 16;
    } while (value != 0);
    return "0x" + text;
}

[[noreturn]] void RefuseDirectory(const std::string& why) {
    throw PackError(kBrokenDirectory + "（" + why + "）。");
}

// Little-endian reads that throw `failure` instead of leaving the bytes.
class Bounded {
  public:
    Bounded(std::span<const std::uint8_t> bytes, std::string failure)
        : bytes_(bytes), failure_(std::move(failure)) {}

    std::size_t size() const { return bytes_.size(); }

    std::span<const std::uint8_t> Range(std::uint64_t offset, std::uint64_t length) const {
        if (offset > bytes_.size() || length > bytes_.size() - offset)
            throw PackError(failure_);
        return bytes_.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
    }

    std::uint32_t Get(std::uint64_t offset, int width) const {
        std::span<const std::uint8_t> field = Range(offset, static_cast<std::uint64_t>(width));
        std::uint32_t value = 0;
        for (int i = width - 1; i >= 0; --i)
            value = (value << 8) | field[static_cast<std::size_t>(i)];
        return value;
    }
    std::uint32_t U16(std::uint64_t offset) const { return Get(offset, 2); }
    std::uint32_t U32(std::uint64_t offset) const { return Get(offset, 4); }

  private:
    std::span<const std::uint8_t> bytes_;
    std::string failure_;
};

void Put(Bytes& bytes, std::size_t offset, std::uint32_t value, int width) {
    for (int i = 0; i < width; ++i)
        bytes[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

void Append(Bytes& bytes, std::uint32_t value, int width) {
    for (int i = 0; i < width; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint64_t AlignUp(std::uint64_t value, std::uint64_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

bool IsPowerOfTwo(std::uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

struct Section {
    std::size_t header = 0;  // file offset of its section table entry
    std::uint32_t virtualSize = 0;
    std::uint32_t virtualAddress = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawPointer = 0;
    std::uint32_t characteristics = 0;

    // What the section occupies in memory; linkers may leave VirtualSize at 0.
    std::uint64_t Extent() const { return virtualSize != 0 ? virtualSize : rawSize; }
};

struct DataDirectory {
    std::uint32_t rva = 0;
    std::uint32_t size = 0;
};

struct PeHeaders {
    std::size_t optionalHeader = 0;
    std::uint32_t fileAlignment = 0;
    std::uint32_t sectionAlignment = 0;
    std::uint32_t sizeOfImage = 0;
    std::uint32_t sizeOfHeaders = 0;
    std::size_t checksumField = 0;
    std::size_t directoryTable = 0;
    std::vector<DataDirectory> directories;  // at most 16
    std::vector<Section> sections;
};

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

// Reads the directory tree. Every directory may be visited once only, which rules out cycles
// and keeps the work proportional to the section's size; the data and names copied out are
// bounded by that size too, since honest directories do not share them.
class ResourceTreeReader {
  public:
    ResourceTreeReader(std::span<const std::uint8_t> section, std::uint32_t sectionRva,
                       std::uint32_t rootOffset)
        : section_(section, kBrokenDirectory + "（範囲外を指しています）。"),
          sectionRva_(sectionRva),
          root_(rootOffset) {}

    std::vector<Resource> Read() {
        std::array<ResourceKey, kResourceLevels> path;
        Walk(0, 0, path);
        return std::move(resources_);
    }

  private:
    void Walk(std::uint32_t offset, int level, std::array<ResourceKey, kResourceLevels>& path) {
        if (!visited_.insert(offset).second)
            RefuseDirectory("同じディレクトリを二度たどります");
        const std::uint64_t at = std::uint64_t{root_} + offset;
        const std::size_t entries = std::size_t{section_.U16(at + 12)} + section_.U16(at + 14);
        section_.Range(at + kDirectoryHeaderSize, kDirectoryEntrySize * entries);
        for (std::size_t i = 0; i < entries; ++i) {
            const std::uint64_t entry = at + kDirectoryHeaderSize + kDirectoryEntrySize * i;
            path[static_cast<std::size_t>(level)] = ReadKey(section_.U32(entry));
            const std::uint32_t target = section_.U32(entry + 4);
            const bool subdirectory = (target & kSubdirectoryFlag) != 0;
            if (level + 1 < kResourceLevels) {
                if (!subdirectory)
                    RefuseDirectory("階層が足りません");
                Walk(target & ~kSubdirectoryFlag, level + 1, path);
            } else {
                if (subdirectory)
                    RefuseDirectory("階層が深すぎます");
                ReadData(target, path);
            }
        }
    }

    ResourceKey ReadKey(std::uint32_t field) {
        if (!(field & kSubdirectoryFlag)) {
            if (field > 0xFFFF)
                RefuseDirectory("番号 " + Hex(field) + " が大きすぎます");
            return static_cast<std::uint16_t>(field);
        }
        const std::uint64_t at = std::uint64_t{root_} + (field & ~kSubdirectoryFlag);
        const std::size_t length = section_.U16(at);
        copied_.names += 2 * std::uint64_t{length};
        if (copied_.names > section_.size())
            RefuseDirectory("名前が重なっています");
        std::span<const std::uint8_t> units = section_.Range(at + 2, 2 * std::uint64_t{length});
        std::u16string name(length, u'\0');
        for (std::size_t i = 0; i < length; ++i)
            name[i] = static_cast<char16_t>(units[2 * i] | (units[2 * i + 1] << 8));
        return name;
    }

    void ReadData(std::uint32_t offset, const std::array<ResourceKey, kResourceLevels>& path) {
        const std::uint64_t at = std::uint64_t{root_} + offset;
        const std::uint32_t rva = section_.U32(at);
        const std::uint32_t size = section_.U32(at + 4);
        if (rva < sectionRva_ || std::uint64_t{rva} - sectionRva_ + size > section_.size())
            RefuseDirectory("データ " + Hex(rva) + " がリソースセクションの外にあります");
        copied_.data += size;
        if (copied_.data > section_.size())
            RefuseDirectory("データが重なっています");
        std::span<const std::uint8_t> data = section_.Range(rva - sectionRva_, size);
        resources_.push_back(Resource{path[0], path[1], path[2], section_.U32(at + 8),
                                      Bytes(data.begin(), data.end())});
    }

    Bounded section_;
    std::uint32_t sectionRva_;
    std::uint32_t root_;
    std::set<std::uint32_t> visited_;
    struct {
        std::uint64_t names = 0;
        std::uint64_t data = 0;
    } copied_;
    std::vector<Resource> resources_;
};

std::vector<Resource> ReadResourceSection(std::span<const std::uint8_t> image,
                                          const PeHeaders& headers, const Section& section) {
    const std::uint32_t directoryRva = headers.directories[kResourceDirectory].rva;
    const Bounded file(image, "プレイヤーのリソースセクションが途中で切れています。");
    const std::uint64_t length = std::min<std::uint64_t>(section.Extent(), section.rawSize);
    std::span<const std::uint8_t> bytes = file.Range(section.rawPointer, length);
    return ResourceTreeReader(bytes, section.virtualAddress, directoryRva - section.virtualAddress)
        .Read();
}

char16_t FoldCase(char16_t unit) {
    return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
}

bool SameKeys(const Resource& a, const Resource& b) {
    return a.type == b.type && a.name == b.name && a.language == b.language;
}

bool ResourceLess(const Resource& a, const Resource& b) {
    if (a.type != b.type)
        return ResourceKeyLess(a.type, b.type);
    if (a.name != b.name)
        return ResourceKeyLess(a.name, b.name);
    return ResourceKeyLess(a.language, b.language);
}

// The group's entries are the ICO directory's, with the file offset replaced by the id of the
// RT_ICON that holds the image. Planes and bit count left at 0 by some ICO writers are filled
// in from the image, since the system picks the image to show by them.
Bytes IconGroup(const std::vector<IconEntry>& icons) {
    Bytes group;
    Append(group, 0, 2);
    Append(group, 1, 2);
    Append(group, static_cast<std::uint32_t>(icons.size()), 2);
    for (std::size_t i = 0; i < icons.size(); ++i) {
        const IconEntry& icon = icons[i];
        const std::uint32_t planes = icon.planes != 0 ? icon.planes : 1;
        const std::uint32_t bitCount = icon.bitCount != 0 ? icon.bitCount : ImageBitCount(icon);
        group.push_back(static_cast<std::uint8_t>(icon.width));  // 256 is stored as 0
        group.push_back(static_cast<std::uint8_t>(icon.height));
        group.push_back(icon.colourCount);
        group.push_back(icon.reserved);
        Append(group, planes, 2);
        Append(group, bitCount, 2);
        Append(group, static_cast<std::uint32_t>(icon.image.size()), 4);
        Append(group, static_cast<std::uint32_t>(i + 1), 2);
    }
    return group;
}

std::vector<Resource> WithIcon(std::vector<Resource> resources,
                               const std::vector<IconEntry>& icons) {
    ResourceKey groupName = std::uint16_t{1};
    ResourceKey language = kJapaneseLanguage;
    bool found = false;
    for (const Resource& resource : resources) {
        if (resource.type != ResourceKey{kIconGroupResource})
            continue;
        if (found && resource.name != groupName)
            throw PackError(
                "プレイヤーにアイコングループが複数あり、どれを置き換えるか決められません。");
        if (!found) {
            groupName = resource.name;
            language = resource.language;
            found = true;
        }
    }
    std::erase_if(resources, [](const Resource& resource) {
        return resource.type == ResourceKey{kIconResource} ||
               resource.type == ResourceKey{kIconGroupResource};
    });
    for (std::size_t i = 0; i < icons.size(); ++i) {
        resources.push_back(Resource{kIconResource, static_cast<std::uint16_t>(i + 1), language, 0,
                                     icons[i].image});
    }
    resources.push_back(Resource{kIconGroupResource, groupName, language, 0, IconGroup(icons)});
    return resources;
}

// The directory tree of resources sorted by type, name and language, one directory per type
// and per name.
struct NameNode {
    ResourceKey key;
    std::vector<std::size_t> languages;  // indices into the resources
};
struct TypeNode {
    ResourceKey key;
    std::vector<NameNode> names;
};

std::vector<TypeNode> BuildTree(const std::vector<Resource>& sorted) {
    std::vector<TypeNode> types;
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        if (types.empty() || types.back().key != sorted[i].type)
            types.push_back(TypeNode{sorted[i].type, {}});
        std::vector<NameNode>& names = types.back().names;
        if (names.empty() || names.back().key != sorted[i].name)
            names.push_back(NameNode{sorted[i].name, {}});
        names.back().languages.push_back(i);
    }
    return types;
}

std::size_t DirectorySize(std::size_t entries) {
    return kDirectoryHeaderSize + kDirectoryEntrySize * entries;
}

// Writes the section in the usual layout: every directory (root, types, names), the data
// entries, the name strings, then the data, each piece of data aligned to 8 bytes.
class SectionWriter {
  public:
    SectionWriter(const std::vector<Resource>& sorted, std::uint32_t sectionRva)
        : resources_(sorted), sectionRva_(sectionRva), types_(BuildTree(sorted)) {}

    Bytes Write() {
        Layout();
        bytes_.assign(end_, 0);
        WriteDirectories();
        return std::move(bytes_);
    }

  private:
    void Layout() {
        std::size_t offset = DirectorySize(types_.size());
        for (const TypeNode& type : types_) {
            typeDirectories_.push_back(offset);
            offset += DirectorySize(type.names.size());
        }
        for (const TypeNode& type : types_) {
            for (const NameNode& name : type.names) {
                nameDirectories_.push_back(offset);
                offset += DirectorySize(name.languages.size());
            }
        }
        dataEntries_ = offset;
        offset += kDataEntrySize * resources_.size();
        strings_ = offset;
        for (const TypeNode& type : types_) {
            offset += StringSize(type.key);
            for (const NameNode& name : type.names) {
                offset += StringSize(name.key);
                for (std::size_t index : name.languages)
                    offset += StringSize(resources_[index].language);
            }
        }
        for (const Resource& resource : resources_) {
            offset = static_cast<std::size_t>(AlignUp(offset, kDataAlignment));
            data_.push_back(offset);
            offset += resource.data.size();
        }
        if (offset > std::numeric_limits<std::uint32_t>::max() - sectionRva_)
            throw PackError("新しいリソースが大きすぎます。");
        end_ = offset;
    }

    void WriteDirectories() {
        std::size_t name = 0;
        std::vector<std::pair<ResourceKey, std::uint32_t>> entries;
        for (std::size_t t = 0; t < types_.size(); ++t)
            entries.emplace_back(types_[t].key, Subdirectory(typeDirectories_[t]));
        WriteDirectory(0, entries);
        for (std::size_t t = 0; t < types_.size(); ++t) {
            entries.clear();
            for (const NameNode& node : types_[t].names)
                entries.emplace_back(node.key, Subdirectory(nameDirectories_[name++]));
            WriteDirectory(typeDirectories_[t], entries);
        }
        name = 0;
        for (const TypeNode& type : types_) {
            for (const NameNode& node : type.names) {
                entries.clear();
                for (std::size_t index : node.languages) {
                    entries.emplace_back(resources_[index].language,
                                         static_cast<std::uint32_t>(WriteData(index)));
                }
                WriteDirectory(nameDirectories_[name++], entries);
            }
        }
    }

    // A name is stored as its length and its UTF-16 code units; a number takes no space.
    static std::size_t StringSize(const ResourceKey& key) {
        const auto* name = std::get_if<std::u16string>(&key);
        return name ? 2 + 2 * name->size() : 0;
    }

    static std::uint32_t Subdirectory(std::size_t offset) {
        return static_cast<std::uint32_t>(offset) | kSubdirectoryFlag;
    }

    // Entries arrive sorted, and sorting puts names first.
    void WriteDirectory(std::size_t at,
                        const std::vector<std::pair<ResourceKey, std::uint32_t>>& entries) {
        const auto named = static_cast<std::uint32_t>(std::count_if(
            entries.begin(), entries.end(),
            [](const auto& entry) { return std::holds_alternative<std::u16string>(entry.first); }));
        Put(bytes_, at + 12, named, 2);
        Put(bytes_, at + 14, static_cast<std::uint32_t>(entries.size()) - named, 2);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const std::size_t entry = at + kDirectoryHeaderSize + kDirectoryEntrySize * i;
            Put(bytes_, entry, KeyField(entries[i].first), 4);
            Put(bytes_, entry + 4, entries[i].second, 4);
        }
    }

    std::uint32_t KeyField(const ResourceKey& key) {
        if (const auto* id = std::get_if<std::uint16_t>(&key))
            return *id;
        const auto& name = std::get<std::u16string>(key);
        const std::size_t at = strings_;
        Put(bytes_, at, static_cast<std::uint32_t>(name.size()), 2);
        for (std::size_t i = 0; i < name.size(); ++i)
            Put(bytes_, at + 2 + 2 * i, name[i], 2);
        strings_ += 2 + 2 * name.size();
        return static_cast<std::uint32_t>(at) | kSubdirectoryFlag;
    }

    std::size_t WriteData(std::size_t index) {
        const Resource& resource = resources_[index];
        const std::size_t entry = dataEntries_ + kDataEntrySize * index;
        Put(bytes_, entry, sectionRva_ + static_cast<std::uint32_t>(data_[index]), 4);
        Put(bytes_, entry + 4, static_cast<std::uint32_t>(resource.data.size()), 4);
        Put(bytes_, entry + 8, resource.codePage, 4);
        std::copy(resource.data.begin(), resource.data.end(),
                  bytes_.begin() + static_cast<std::ptrdiff_t>(data_[index]));
        return entry;
    }

    const std::vector<Resource>& resources_;
    std::uint32_t sectionRva_;
    std::vector<TypeNode> types_;
    std::vector<std::size_t> typeDirectories_;
    std::vector<std::size_t> nameDirectories_;
    std::size_t dataEntries_ = 0;
    std::size_t strings_ = 0;  // where the next name string goes
    std::vector<std::size_t> data_;
    std::size_t end_ = 0;
    Bytes bytes_;
};

// The image up to the resource section followed by the new section, with every header field
// that depends on the section's size brought up to date.
Bytes Assemble(std::span<const std::uint8_t> image, const PeHeaders& headers,
               const Section& section, const Bytes& content) {
    const std::uint64_t rawSize = AlignUp(content.size(), headers.fileAlignment);
    const std::uint64_t fileSize = section.rawPointer + rawSize;
    const std::uint64_t sizeOfImage =
        AlignUp(std::uint64_t{section.virtualAddress} + content.size(), headers.sectionAlignment);
    if (fileSize > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()) ||
        sizeOfImage > std::numeric_limits<std::uint32_t>::max()) {
        throw PackError("アイコンを入れたプレイヤーが大きすぎます。");
    }
    Bytes out(image.begin(), image.begin() + section.rawPointer);
    out.insert(out.end(), content.begin(), content.end());
    out.resize(static_cast<std::size_t>(fileSize), 0);

    Put(out, section.header + 8, static_cast<std::uint32_t>(content.size()), 4);
    Put(out, section.header + 16, static_cast<std::uint32_t>(rawSize), 4);
    Put(out, headers.optionalHeader + 56, static_cast<std::uint32_t>(sizeOfImage), 4);
    if (section.characteristics & kInitializedData) {
        const std::size_t field = headers.optionalHeader + 8;
        const std::int64_t initialized = static_cast<std::int64_t>(
            Bounded(image, kTruncatedHeaders).U32(field) + rawSize - section.rawSize);
        if (initialized < 0 || initialized > std::numeric_limits<std::uint32_t>::max()) {
            throw PackError("プレイヤーの SizeOfInitializedData がセクションと合いません。");
        }
        Put(out, field, static_cast<std::uint32_t>(initialized), 4);
    }
    Put(out, headers.directoryTable + kDirectoryEntrySize * kResourceDirectory + 4,
        static_cast<std::uint32_t>(content.size()), 4);
    Put(out, headers.checksumField, ComputePeChecksum(out), 4);
    return out;
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

bool ResourceKeyLess(const ResourceKey& a, const ResourceKey& b) {
    const auto* nameA = std::get_if<std::u16string>(&a);
    const auto* nameB = std::get_if<std::u16string>(&b);
    if (!nameA || !nameB) {
        if (nameA || nameB)
            return nameA != nullptr;
        return std::get<std::uint16_t>(a) < std::get<std::uint16_t>(b);
    }
    const auto folded = [](char16_t x, char16_t y) { return FoldCase(x) < FoldCase(y); };
    if (std::lexicographical_compare(nameA->begin(), nameA->end(), nameB->begin(), nameB->end(),
                                     folded)) {
        return true;
    }
    if (std::lexicographical_compare(nameB->begin(), nameB->end(), nameA->begin(), nameA->end(),
                                     folded)) {
        return false;
    }
    return *nameA < *nameB;
}

std::vector<Resource> ReadResources(std::span<const std::uint8_t> image) {
    const PeHeaders headers = ReadHeaders(image);
    return ReadResourceSection(image, headers, ResourceSection(headers));
}

Bytes ReplaceIconResources(std::span<const std::uint8_t> image, std::span<const std::uint8_t> ico) {
    const std::vector<IconEntry> icons = ReadIco(ico);
    const PeHeaders headers = ReadHeaders(image);
    RequireBareImage(image, headers);
    const Section& section = RequireResourcesLast(headers);
    std::vector<Resource> resources = WithIcon(ReadResourceSection(image, headers, section), icons);
    std::sort(resources.begin(), resources.end(), ResourceLess);
    const auto duplicate = std::adjacent_find(resources.begin(), resources.end(), SameKeys);
    if (duplicate != resources.end())
        throw PackError("プレイヤーに同じ種類・名前・言語のリソースが二つあります。");
    const Bytes content = SectionWriter(resources, section.virtualAddress).Write();
    Bytes out = Assemble(image, headers, section, content);
    if (static_cast<std::uint64_t>(package::EXESize(out)) != out.size())
        throw PackError("内部エラー: 書き換えたプレイヤーのイメージの終わりが合いません。");
    return out;
}

std::uint32_t ComputePeChecksum(std::span<const std::uint8_t> image) {
    return Checksum(image, ChecksumField(Bounded(image, kTruncatedHeaders)));
}

}  // namespace tovalin::pack

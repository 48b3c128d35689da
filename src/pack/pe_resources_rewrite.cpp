// Rewriting a player image's resource section with a character's icon: the tree sorted as the
// loader searches it, laid out anew, and every header field that follows its size.
#include "pack/pe_resources.h"

#include <algorithm>
#include <limits>

#include "pack/icon.h"
#include "pack/pe_resources_layout.h"
#include "package/package.h"
#include "platform/byte_order.h"

namespace tovalin::pack {

namespace {

using namespace pe;
using platform::AppendLittle;
using platform::WriteLittle;

constexpr std::size_t kDataAlignment = 8;

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
    AppendLittle(group, 0, 2);
    AppendLittle(group, 1, 2);
    AppendLittle(group, static_cast<std::uint32_t>(icons.size()), 2);
    for (std::size_t i = 0; i < icons.size(); ++i) {
        const IconEntry& icon = icons[i];
        const std::uint32_t planes = icon.planes != 0 ? icon.planes : 1;
        const std::uint32_t bitCount = icon.bitCount != 0 ? icon.bitCount : ImageBitCount(icon);
        group.push_back(static_cast<std::uint8_t>(icon.width));  // 256 is stored as 0
        group.push_back(static_cast<std::uint8_t>(icon.height));
        group.push_back(icon.colourCount);
        group.push_back(icon.reserved);
        AppendLittle(group, planes, 2);
        AppendLittle(group, bitCount, 2);
        AppendLittle(group, static_cast<std::uint32_t>(icon.image.size()), 4);
        AppendLittle(group, static_cast<std::uint32_t>(i + 1), 2);
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
        WriteLittle(bytes_, at + 12, named, 2);
        WriteLittle(bytes_, at + 14, static_cast<std::uint32_t>(entries.size()) - named, 2);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const std::size_t entry = at + kDirectoryHeaderSize + kDirectoryEntrySize * i;
            WriteLittle(bytes_, entry, KeyField(entries[i].first), 4);
            WriteLittle(bytes_, entry + 4, entries[i].second, 4);
        }
    }

    std::uint32_t KeyField(const ResourceKey& key) {
        if (const auto* id = std::get_if<std::uint16_t>(&key))
            return *id;
        const auto& name = std::get<std::u16string>(key);
        const std::size_t at = strings_;
        WriteLittle(bytes_, at, static_cast<std::uint32_t>(name.size()), 2);
        for (std::size_t i = 0; i < name.size(); ++i)
            WriteLittle(bytes_, at + 2 + 2 * i, name[i], 2);
        strings_ += 2 + 2 * name.size();
        return static_cast<std::uint32_t>(at) | kSubdirectoryFlag;
    }

    std::size_t WriteData(std::size_t index) {
        const Resource& resource = resources_[index];
        const std::size_t entry = dataEntries_ + kDataEntrySize * index;
        WriteLittle(bytes_, entry, sectionRva_ + static_cast<std::uint32_t>(data_[index]), 4);
        WriteLittle(bytes_, entry + 4, static_cast<std::uint32_t>(resource.data.size()), 4);
        WriteLittle(bytes_, entry + 8, resource.codePage, 4);
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

    WriteLittle(out, section.header + 8, static_cast<std::uint32_t>(content.size()), 4);
    WriteLittle(out, section.header + 16, static_cast<std::uint32_t>(rawSize), 4);
    WriteLittle(out, headers.optionalHeader + 56, static_cast<std::uint32_t>(sizeOfImage), 4);
    if (section.characteristics & kInitializedData) {
        const std::size_t field = headers.optionalHeader + 8;
        const std::int64_t initialized = static_cast<std::int64_t>(
            Bounded(image, kTruncatedHeaders).U32(field) + rawSize - section.rawSize);
        if (initialized < 0 || initialized > std::numeric_limits<std::uint32_t>::max()) {
            throw PackError("プレイヤーの SizeOfInitializedData がセクションと合いません。");
        }
        WriteLittle(out, field, static_cast<std::uint32_t>(initialized), 4);
    }
    WriteLittle(out, headers.directoryTable + kDirectoryEntrySize * kResourceDirectory + 4,
                static_cast<std::uint32_t>(content.size()), 4);
    WriteLittle(out, headers.checksumField, ComputePeChecksum(out), 4);
    return out;
}

}  // namespace

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

}  // namespace tovalin::pack

// Reading a player image's resource directory tree, and the order the loader looks entries up
// in. The PE layout around it is pe_resources_layout's.
#include "pack/pe_resources.h"

#include <algorithm>
#include <array>
#include <set>

#include "pack/pe_resources_layout.h"
#include "platform/byte_order.h"

namespace tovalin::pack {

namespace pe {
namespace {

// Type, name, language: the only depth the loader's lookups know.
constexpr int kResourceLevels = 3;

const std::string kBrokenDirectory = "プレイヤーのリソースディレクトリが壊れています";

[[noreturn]] void RefuseDirectory(const std::string& why) {
    throw PackError(kBrokenDirectory + "（" + why + "）。");
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
            name[i] = static_cast<char16_t>(platform::ReadLe16(units, 2 * i));
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

char16_t FoldCase(char16_t unit) {
    return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
}

}  // namespace

std::vector<Resource> ReadResourceSection(std::span<const std::uint8_t> image,
                                          const PeHeaders& headers, const Section& section) {
    const std::uint32_t directoryRva = headers.directories[kResourceDirectory].rva;
    const Bounded file(image, "プレイヤーのリソースセクションが途中で切れています。");
    const std::uint64_t length = std::min<std::uint64_t>(section.Extent(), section.rawSize);
    std::span<const std::uint8_t> bytes = file.Range(section.rawPointer, length);
    return ResourceTreeReader(bytes, section.virtualAddress, directoryRva - section.virtualAddress)
        .Read();
}

}  // namespace pe

bool ResourceKeyLess(const ResourceKey& a, const ResourceKey& b) {
    const auto* nameA = std::get_if<std::u16string>(&a);
    const auto* nameB = std::get_if<std::u16string>(&b);
    if (!nameA || !nameB) {
        if (nameA || nameB)
            return nameA != nullptr;
        return std::get<std::uint16_t>(a) < std::get<std::uint16_t>(b);
    }
    const auto folded = [](char16_t x, char16_t y) { return pe::FoldCase(x) < pe::FoldCase(y); };
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
    const pe::PeHeaders headers = pe::ReadHeaders(image);
    return pe::ReadResourceSection(image, headers, pe::ResourceSection(headers));
}

}  // namespace tovalin::pack

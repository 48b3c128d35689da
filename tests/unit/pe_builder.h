// Small PE32 and PE32+ images put together byte by byte, with a resource tree written
// independently of the code under test: the players the authoring tests rewrite.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "pack/pe_resources.h"

namespace tovalin::pack::fake_pe {

using Key = ResourceKey;
inline constexpr std::uint32_t kFlag = 0x80000000u;
inline constexpr std::uint32_t kPe = 0x80;
inline constexpr std::uint32_t kUsEnglish = 0x409;

inline std::uint32_t Get(const Bytes& b, std::size_t at, int width) {
    std::uint32_t v = 0;
    for (int i = width - 1; i >= 0; --i)
        v = (v << 8) | b.at(at + static_cast<std::size_t>(i));
    return v;
}

inline void Set(Bytes& b, std::size_t at, std::uint32_t v, int width) {
    for (int i = 0; i < width; ++i)
        b.at(at + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(v >> (8 * i));
}

inline Bytes Text(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// Writes resource directories bottom-up: children first, the root last at offset 0.
class TreeWriter {
  public:
    using Entries = std::vector<std::pair<Key, std::uint32_t>>;

    TreeWriter(std::uint32_t rva, std::size_t rootEntries)
        : rva_(rva), bytes_(16 + 8 * rootEntries, 0) {}

    std::uint32_t Directory(const Entries& entries) {
        const auto at = static_cast<std::uint32_t>(bytes_.size());
        bytes_.resize(bytes_.size() + 16 + 8 * entries.size());
        Fill(at, entries);
        return at | kFlag;
    }
    std::uint32_t Data(const Bytes& data, std::uint32_t codePage = 0) {
        const auto entry = static_cast<std::uint32_t>(bytes_.size());
        bytes_.resize(entry + 16 + (data.size() + 3) / 4 * 4);
        Set(bytes_, entry, rva_ + entry + 16, 4);
        Set(bytes_, entry + 4, static_cast<std::uint32_t>(data.size()), 4);
        Set(bytes_, entry + 8, codePage, 4);
        std::copy(data.begin(), data.end(), bytes_.begin() + entry + 16);
        return entry;
    }
    Bytes Root(const Entries& entries) {
        Fill(0, entries);
        return bytes_;
    }

  private:
    std::uint32_t KeyField(const Key& key) {
        if (const auto* id = std::get_if<std::uint16_t>(&key))
            return *id;
        const auto& name = std::get<std::u16string>(key);
        const auto at = static_cast<std::uint32_t>(bytes_.size());
        bytes_.resize(at + 2 + 2 * name.size());
        Set(bytes_, at, static_cast<std::uint32_t>(name.size()), 2);
        for (std::size_t i = 0; i < name.size(); ++i)
            Set(bytes_, at + 2 + 2 * i, name[i], 2);
        return at | kFlag;
    }
    // Entries in the order given; the counts say how many are named.
    void Fill(std::uint32_t at, const Entries& entries) {
        std::uint32_t named = 0;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            named += std::holds_alternative<std::u16string>(entries[i].first);
            const std::uint32_t field = KeyField(entries[i].first);
            Set(bytes_, at + 16 + 8 * i, field, 4);
            Set(bytes_, at + 16 + 8 * i + 4, entries[i].second, 4);
        }
        Set(bytes_, at + 12, named, 2);
        Set(bytes_, at + 14, static_cast<std::uint32_t>(entries.size()) - named, 2);
    }

    std::uint32_t rva_;
    Bytes bytes_;
};

// One directory per type and per name, in the order the resources come.
inline Bytes ResourceTree(const std::vector<Resource>& resources, std::uint32_t rva) {
    std::vector<Key> types;
    for (const Resource& r : resources) {
        if (std::find(types.begin(), types.end(), r.type) == types.end())
            types.push_back(r.type);
    }
    TreeWriter tree(rva, types.size());
    TreeWriter::Entries root;
    for (const Key& type : types) {
        std::vector<Key> names;
        for (const Resource& r : resources) {
            if (r.type == type && std::find(names.begin(), names.end(), r.name) == names.end())
                names.push_back(r.name);
        }
        TreeWriter::Entries nameEntries;
        for (const Key& name : names) {
            TreeWriter::Entries languages;
            for (const Resource& r : resources) {
                if (r.type == type && r.name == name)
                    languages.emplace_back(r.language, tree.Data(r.data, r.codePage));
            }
            nameEntries.emplace_back(name, tree.Directory(languages));
        }
        root.emplace_back(type, tree.Directory(nameEntries));
    }
    return tree.Root(root);
}

struct Section {
    std::string name;
    Bytes data;
    std::uint32_t characteristics = 0xC0000040;  // initialised data, read, write
};

inline std::uint32_t SectionRva(std::size_t index) {
    return 0x1000 * static_cast<std::uint32_t>(index + 1);
}

// Headers at 0x80, 0x400 bytes of them, sections 0x200-aligned in the file, 0x1000 in memory.
// extraOptional bytes lengthen the optional header, which the package reader does not expect.
inline Bytes MakeImage(bool plus, const std::vector<Section>& sections,
                       std::optional<std::size_t> resources, std::uint32_t extraOptional = 0) {
    Bytes image(0x400, 0);
    Set(image, 0, 0x5A4D, 2);
    Set(image, 60, kPe, 4);
    Set(image, kPe, 0x4550, 4);
    Set(image, kPe + 4, plus ? 0x8664 : 0x14C, 2);
    Set(image, kPe + 6, static_cast<std::uint32_t>(sections.size()), 2);
    const std::uint32_t optionalSize = (plus ? 240 : 224) + extraOptional;
    Set(image, kPe + 20, optionalSize, 2);
    const std::uint32_t opt = kPe + 24;
    Set(image, opt, plus ? 0x20B : 0x10B, 2);
    Set(image, opt + 32, 0x1000, 4);
    Set(image, opt + 36, 0x200, 4);
    Set(image, opt + 60, 0x400, 4);
    const std::uint32_t directories = opt + (plus ? 112 : 96);
    Set(image, directories - 4, 16, 4);
    std::uint32_t initialised = 0, end = 0;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const std::uint32_t header = opt + optionalSize + 40 * static_cast<std::uint32_t>(i);
        const auto size = static_cast<std::uint32_t>(sections[i].data.size());
        const std::uint32_t raw = (size + 0x1FF) / 0x200 * 0x200;
        std::copy(sections[i].name.begin(), sections[i].name.end(), image.begin() + header);
        Set(image, header + 8, size, 4);
        Set(image, header + 12, SectionRva(i), 4);
        Set(image, header + 16, raw, 4);
        Set(image, header + 20, static_cast<std::uint32_t>(image.size()), 4);
        Set(image, header + 36, sections[i].characteristics, 4);
        image.insert(image.end(), sections[i].data.begin(), sections[i].data.end());
        image.resize(image.size() + raw - size, 0);
        initialised += raw;
        end = SectionRva(i) + (size + 0xFFF) / 0x1000 * 0x1000;
    }
    Set(image, opt + 8, initialised, 4);
    Set(image, opt + 56, end, 4);
    if (resources) {
        Set(image, directories + 16, SectionRva(*resources), 4);
        Set(image, directories + 20, static_cast<std::uint32_t>(sections[*resources].data.size()),
            4);
    }
    return image;
}

}  // namespace tovalin::pack::fake_pe

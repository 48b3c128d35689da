#include "package/writer.h"

#include "platform/byte_order.h"

namespace tovalin::package {

namespace {

void AppendLine(std::string& text, std::string_view tag, std::string_view value) {
    text += tag;
    text += value;
    text += "\r\n";
}

}  // namespace

std::string BuildPackageHeader(const PackagedFile& icon, std::span<const PackagedFile> frames,
                               const PackageSettings& settings) {
    std::string body;
    AppendLine(body, "VER", "100");
    AppendLine(body, "ICO", icon.name);
    AppendLine(body, "SIZ", std::to_string(icon.bytes.size()));
    for (const PackagedFile& frame : frames) {
        AppendLine(body, "FIL", frame.name);
        AppendLine(body, "SIZ", std::to_string(frame.bytes.size()));
    }
    AppendLine(body, "CHA", settings.count);
    AppendLine(body, "MOV", settings.move);
    AppendLine(body, "LOC", settings.location);
    AppendLine(body, "ANI", settings.anim);
    AppendLine(body, "UVR", settings.version);
    AppendLine(body, "CPY", settings.copyright);
    std::string header;
    AppendLine(header, "", std::to_string(body.size()));
    return header + body;
}

std::string FrameFileName(std::size_t index, std::string_view cp932Base) {
    std::string number = std::to_string(index + 1);
    if (number.size() < 2)
        number.insert(0, "0");
    return number + "_" + std::string(cp932Base) + ".gif";
}

std::string IconFileName(std::string_view cp932Base) {
    return std::string(cp932Base) + ".ico";
}

bool IsGifImage(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 6)
        return false;
    std::string_view signature(reinterpret_cast<const char*>(bytes.data()), 6);
    return signature == "GIF87a" || signature == "GIF89a";
}

bool IsIconFile(std::span<const std::uint8_t> bytes) {
    constexpr std::size_t kDirectorySize = 6;
    constexpr std::size_t kEntrySize = 16;
    if (bytes.size() < kDirectorySize)
        return false;
    if (platform::ReadLittle(bytes, 0, 2) != 0 || platform::ReadLittle(bytes, 2, 2) != 1)
        return false;
    std::size_t count = platform::ReadLittle(bytes, 4, 2);
    if (count == 0 || kDirectorySize + kEntrySize * count > bytes.size())
        return false;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t entry = kDirectorySize + kEntrySize * i;
        std::uint64_t size = platform::ReadLittle(bytes, entry + 8, 4);
        std::uint64_t offset = platform::ReadLittle(bytes, entry + 12, 4);
        if (size == 0 || offset < kDirectorySize + kEntrySize * count ||
            offset + size > bytes.size()) {
            return false;
        }
    }
    return true;
}

}  // namespace tovalin::package

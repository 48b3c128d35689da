// The packer's input checks on arbitrary bytes: the GIF and icon tests that decide what may be
// packed, the code page 932 encoding of header values and names, and the header the packer
// writes, read back by the player's own reader.
//
// Byte 0 picks the check; the rest is its input.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "package/package.h"
#include "fuzz_check.h"
#include "pack/commands.h"
#include "pack/cp932.h"
#include "pack/file_io.h"
#include "package/writer.h"
#include "platform/picture_headers.h"

namespace {

namespace pack = tovalin::pack;
namespace package = tovalin::package;
using Bytes = std::vector<std::uint8_t>;

std::string_view AsText(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<std::uint8_t>(text[i]);
        std::size_t length = c < 0x80         ? 1
                             : (c >> 5) == 6  ? 2
                             : (c >> 4) == 14 ? 3
                             : (c >> 3) == 30 ? 4
                                              : 0;
        if (length == 0 || i + length > text.size())
            return false;
        std::uint32_t code = length == 1 ? c : c & (0x7Fu >> length);
        for (std::size_t k = 1; k < length; ++k) {
            const auto t = static_cast<std::uint8_t>(text[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            code = code << 6 | (t & 0x3F);
        }
        constexpr std::uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kMinimum[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

// What may be packed must be what the player recognises: the same signatures.
void CheckImageTests(std::span<const std::uint8_t> bytes) {
    const auto format = tovalin::platform::SniffPictureFormat(bytes);
    if (package::IsGifImage(bytes))
        FUZZ_CHECK(format == tovalin::platform::PictureFormat::kGif);
    if (package::IsIconFile(bytes))
        FUZZ_CHECK(format == tovalin::platform::PictureFormat::kIco);
}

// A value accepted for the header is one line of code page 932 that reads back as the text given.
void CheckHeaderText(std::string_view utf8) {
    std::string bytes;
    try {
        bytes = pack::EncodeHeaderText(utf8, "--version");
    } catch (const pack::PackError& error) {
        FUZZ_CHECK(IsValidUtf8(error.what()) || !IsValidUtf8(utf8));
        return;
    }
    FUZZ_CHECK(IsValidUtf8(utf8));
    FUZZ_CHECK(bytes.find_first_of("\r\n") == std::string::npos);
    FUZZ_CHECK(pack::Cp932ToUtf8Exact(bytes) == utf8);
    FUZZ_CHECK(pack::Cp932ToUtf8(bytes) == utf8);
}

// Decoding for display never fails and always gives UTF-8; an exact decoding agrees with it.
void CheckDecoding(std::string_view cp932) {
    const std::string shown = pack::Cp932ToUtf8(cp932);
    FUZZ_CHECK(IsValidUtf8(shown));
    FUZZ_CHECK(cp932.empty() || !shown.empty());
    if (const std::optional<std::string> exact = pack::Cp932ToUtf8Exact(cp932))
        FUZZ_CHECK(*exact == shown);
}

// Splits the input at 0xFF into up to 8 fields: icon name, six settings, frame name; every
// later byte is one more frame's length.
std::vector<std::string> Fields(std::string_view text, std::size_t count) {
    std::vector<std::string> fields(count);
    std::size_t field = 0;
    for (char c : text) {
        if (static_cast<std::uint8_t>(c) == 0xFF && field + 1 < count)
            ++field;
        else if (c != '\r' && c != '\n')  // the writer's contract: no line breaks
            fields[field] += c;
    }
    return fields;
}

void Append(Bytes& file, std::string_view text) {
    file.insert(file.end(), text.begin(), text.end());
}

// The smallest image EXESize accepts: one section whose raw data ends where the image ends.
Bytes MinimalImage() {
    Bytes image(0x200, 0);
    image[0] = 'M';
    image[1] = 'Z';
    image[60] = 0x40;
    image[0x40] = 'P';
    image[0x41] = 'E';
    image[0x46] = 1;
    image[0x40 + 248 + 16 + 1] = 0x02;  // SizeOfRawData 0x200, PointerToRawData 0
    return image;
}

void CheckHeaderRoundTrip(std::span<const std::uint8_t> bytes) {
    std::vector<std::string> fields = Fields(AsText(bytes), 9);
    package::PackagedFile icon{fields[0], Bytes{0, 0, 1, 0}};  // an icon always starts 0 0 1 0
    package::PackageSettings settings{fields[1], fields[2], fields[3],
                                      fields[4], fields[5], fields[6]};
    std::vector<package::PackagedFile> frames;
    for (unsigned char length : fields[8]) {
        if (frames.size() == static_cast<std::size_t>(package::kMaxFrames))
            break;
        frames.push_back({package::FrameFileName(frames.size(), fields[7]),
                          Bytes(std::size_t{length} + 1, 'G')});
    }
    const std::string header = package::BuildPackageHeader(icon, frames, settings);

    Bytes file = MinimalImage();
    const std::size_t imageEnd = file.size();
    Append(file, header);
    file.insert(file.end(), icon.bytes.begin(), icon.bytes.end());
    for (const package::PackagedFile& frame : frames)
        file.insert(file.end(), frame.bytes.begin(), frame.bytes.end());

    FUZZ_CHECK(package::EXESize(file) == static_cast<std::int32_t>(imageEnd));
    const package::PackageHeader read =
        package::ParsePackageHeader(file, static_cast<std::int32_t>(imageEnd));
    FUZZ_CHECK(read.files.size() == frames.size() + 1);
    FUZZ_CHECK(read.files[0].szFileName == icon.name);
    FUZZ_CHECK(read.files[0].nOffset == static_cast<std::int32_t>(imageEnd + header.size() + 1));
    for (std::size_t i = 0; i < frames.size(); ++i) {
        FUZZ_CHECK(read.files[i + 1].szFileName == frames[i].name);
        FUZZ_CHECK(read.files[i + 1].nLen == static_cast<std::int32_t>(frames[i].bytes.size()));
    }
    FUZZ_CHECK(read.gCount == settings.count && read.gMove == settings.move &&
               read.gLocation == settings.location && read.gAnim == settings.anim &&
               read.gVersion == settings.version && read.gCopyright == settings.copyright);
    const package::cFile& last = read.files.back();
    FUZZ_CHECK(static_cast<std::uint64_t>(last.nOffset) - 1 +
                   static_cast<std::uint64_t>(last.nLen) ==
               file.size());

    bool namesSafe = package::IsSafePackagedName(icon.name);
    for (const package::PackagedFile& frame : frames)
        namesSafe = namesSafe && package::IsSafePackagedName(frame.name);
    FUZZ_CHECK(package::CheckPackage(read, file.size()).has_value() ==
               (!namesSafe || frames.empty()));
}

void CheckSettingWords(std::string_view word) {
    for (auto lookUp : {pack::CountWord, pack::MoveWord, pack::LocationWord, pack::SpeedWord}) {
        if (const std::optional<std::string> japanese = lookUp(word)) {
            FUZZ_CHECK(lookUp(*japanese) == japanese);
            FUZZ_CHECK(pack::Utf8ToCp932(*japanese).has_value());
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::span<const std::uint8_t> input(data + 1, size - 1);
    switch (data[0] % 5) {
        case 0:
            CheckImageTests(input);
            break;
        case 1:
            CheckHeaderText(AsText(input));
            break;
        case 2:
            CheckDecoding(AsText(input));
            break;
        case 3:
            CheckHeaderRoundTrip(input);
            break;
        default:
            CheckSettingWords(AsText(input));
            break;
    }
    return 0;
}

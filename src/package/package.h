// The package appended to a character executable: finding it, reading its header and
// checking that every packaged file can be unpacked safely. Works on the file's bytes only;
// the player maps its own file and hands the bytes over, the packer reads it back.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tovalin::package {

// The most frames a package can bring to the screen: the player's frame tables hold 51.
inline constexpr std::int32_t kMaxFrames = 51;

// One packaged file. szFileName holds the header's code page 932 bytes unchanged.
struct cFile {
    std::string szFileName;
    std::int32_t nOffset = 0;  // position of the first byte in the executable, counted from 1
    std::int32_t nLen = 0;
};

// What the header says. Values are the raw code page 932 bytes after the tag, untrimmed.
struct PackageHeader {
    std::vector<cFile> files;  // in package order: the icon first, then the frames
    std::string gCount, gMove, gLocation, gAnim, gVersion, gCopyright;
    std::int64_t dataStart = 0;  // position (from 1) of the data area's first byte
    // 1-based index of the "SIZ" record whose end pushed the running position past 32 bits;
    // 0 when none did. Parsing stops there and that record is not kept.
    std::size_t overflowRecord = 0;
    // The length line and every header line the reader acted on, raw, in file order (for
    // listing a package; the player does not need them).
    std::vector<std::string> lines;
};

// Why a package cannot be unpacked. record is the 1-based index into files (0: the whole package).
struct PackageProblem {
    enum class Kind {
        kNoFiles,           // the header lists no file, so there is no icon
        kNoFrames,          // the header lists the icon only, so there is nothing to show
        kBadName,           // empty, a folder separator or drive colon, "." or "..", a device name,
                            // a control or wildcard character, a broken double-byte character
        kBadLength,         // a "SIZ" value below 1
        kPastEnd,           // a record's range runs past the end of the file
        kPositionOverflow,  // the running position overflows 32 bits
        kBeforeStart        // a record starts before the file's first byte (negative length line)
    };
    Kind kind;
    std::size_t record = 0;
    std::string name;  // the record's code page 932 name, for the message
};

// Offset at which the package starts: end of the raw data of the last section-table entry, for a
// 32-bit image and for a 64-bit one (PE32+) alike.
// 0 when the bytes carry no "MZ" and "PE" signatures or the table has no entry. A read past
// the end leaves the sum of what was read before it. The two fields are unsigned; a sum beyond
// INT32_MAX saturates there, so a bogus table can never place the package before the file.
std::int32_t EXESize(std::span<const std::uint8_t> file);

// One line as the reader splits the package text: it ends at CR, and a CR LF pair counts as one
// break; a lone LF does not end a line and stays in its text. next is the offset just past the
// break (the file's size at the end).
struct PackageLine {
    std::string_view text;
    std::size_t next = 0;
};
PackageLine ReadPackageLine(std::span<const std::uint8_t> file, std::size_t offset);

// The decimal number at the start of a header value: leading blanks (space, tab, LF) skipped, an
// optional sign, digits up to the first other character; no digits give 0. A value beyond
// 32 bits saturates at INT32_MAX or INT32_MIN.
std::int32_t LeadingNumber(std::string_view text);

// Parses the header that starts at imageEnd. Never fails: a header that ends early simply
// leaves later records and values out; an imageEnd outside the bytes gives no records.
PackageHeader ParsePackageHeader(std::span<const std::uint8_t> file, std::int32_t imageEnd);

// The first reason the header's records cannot all be unpacked from a file of fileSize bytes,
// or nothing when every record is sound.
std::optional<PackageProblem> CheckPackage(const PackageHeader& header, std::uint64_t fileSize);

// True when a packaged name can be written into the temporary folder as a plain file name.
bool IsSafePackagedName(std::string_view cp932Name);

// The Japanese text (UTF-8) that tells the user what is wrong; nameUtf8 is the record's name.
std::string ProblemMessage(const PackageProblem& problem, std::string_view nameUtf8);

}  // namespace tovalin::package

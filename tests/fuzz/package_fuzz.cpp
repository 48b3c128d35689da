// The package reader on arbitrary file bytes: finding the image end, parsing a header wherever
// it is said to start, and the promise the player's unpacking relies on, that a package
// CheckPackage calls sound only names plain file names and ranges inside the file.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "package/package.h"
#include "fuzz_check.h"

namespace {

using tovalin::package::CheckPackage;
using tovalin::package::PackageHeader;
using tovalin::package::PackageProblem;

std::uint64_t End(const tovalin::package::cFile& file) {
    return static_cast<std::uint64_t>(file.nOffset) - 1 + static_cast<std::uint64_t>(file.nLen);
}

void CheckParsed(std::span<const std::uint8_t> file, std::int32_t imageEnd,
                 const PackageHeader& header) {
    const bool inside = imageEnd >= 0 && static_cast<std::uint64_t>(imageEnd) < file.size();
    if (!inside) {
        FUZZ_CHECK(header.files.empty() && header.lines.empty() && header.overflowRecord == 0);
    } else {
        FUZZ_CHECK(!header.lines.empty());
    }
    // Records follow each other from the data area's start; the one that overflowed is not kept.
    std::int64_t position = header.dataStart;
    for (const auto& record : header.files) {
        FUZZ_CHECK(record.nOffset == position);
        position += record.nLen;
    }
    FUZZ_CHECK(header.overflowRecord == 0 || header.overflowRecord == header.files.size() + 1);
    for (const std::string& line : header.lines)
        FUZZ_CHECK(line.find('\r') == std::string::npos);

    const std::optional<PackageProblem> problem = CheckPackage(header, file.size());
    if (!problem) {
        FUZZ_CHECK(header.files.size() >= 2 && header.overflowRecord == 0);
        std::uint32_t touched = 0;
        for (const auto& record : header.files) {
            FUZZ_CHECK(record.nOffset >= 1 && record.nLen >= 1);
            FUZZ_CHECK(End(record) <= file.size());
            FUZZ_CHECK(tovalin::package::IsSafePackagedName(record.szFileName));
            // Reading the range's ends as unpacking would lets ASan confirm the bounds.
            touched += file[static_cast<std::size_t>(record.nOffset - 1)];
            touched += file[static_cast<std::size_t>(End(record) - 1)];
        }
        (void)touched;
        return;
    }
    using Kind = PackageProblem::Kind;
    if (problem->kind == Kind::kNoFiles) {
        FUZZ_CHECK(header.files.empty() && problem->record == 0);
    } else if (problem->kind == Kind::kNoFrames) {
        FUZZ_CHECK(header.files.size() == 1 && problem->record == 0);
    } else if (problem->kind == Kind::kPositionOverflow) {
        FUZZ_CHECK(problem->record == header.overflowRecord);
    } else {
        FUZZ_CHECK(problem->record >= 1 && problem->record <= header.files.size());
        FUZZ_CHECK(problem->name == header.files[problem->record - 1].szFileName);
    }
    FUZZ_CHECK(!tovalin::package::ProblemMessage(*problem, problem->name).empty());
}

void ParseAt(std::span<const std::uint8_t> file, std::int32_t imageEnd) {
    CheckParsed(file, imageEnd, tovalin::package::ParsePackageHeader(file, imageEnd));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> file(data, size);

    const std::int32_t imageEnd = tovalin::package::EXESize(file);
    FUZZ_CHECK(imageEnd >= 0);
    if (size < 2 || data[0] != 'M' || data[1] != 'Z')
        FUZZ_CHECK(imageEnd == 0);
    ParseAt(file, imageEnd);

    // A header anywhere, not only after an image: the last four bytes choose where, both as
    // they stand (negative and far-off values included) and folded into the file.
    const auto chosen =
        static_cast<std::int32_t>(tovalin::fuzz::ReadLE(file, size >= 4 ? size - 4 : 0, 4));
    ParseAt(file, chosen);
    if (size > 0) {
        const auto folded = static_cast<std::int32_t>(static_cast<std::uint32_t>(chosen) % size);
        ParseAt(file, folded);
        const tovalin::package::PackageLine line =
            tovalin::package::ReadPackageLine(file, static_cast<std::size_t>(folded));
        FUZZ_CHECK(line.next > static_cast<std::size_t>(folded) && line.next <= size);
        FUZZ_CHECK(line.text.find('\r') == std::string_view::npos);
    }
    ParseAt(file, 0);
    return 0;
}

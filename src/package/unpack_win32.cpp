#include "package/unpack_win32.h"

#include "platform/file_win32.h"
#include "platform/folder_win32.h"
#include "platform/message_box_win32.h"
#include "platform/text_win32.h"

#include <memory>
#include <stdexcept>

namespace tovalin::package {

std::vector<cFile> gTempFiles;
std::wstring gVersion;
std::wstring gCopyright;

namespace {

// The running executable, kept mapped from ReadPackage until ReleasePackageBytes.
std::unique_ptr<platform::MappedFile>& Mapped() {
    static std::unique_ptr<platform::MappedFile> mapped;
    return mapped;
}

// Files written so far by this run.
std::vector<std::wstring>& WrittenFiles() {
    static std::vector<std::wstring> written;
    return written;
}

[[noreturn]] void Fail(const std::wstring& message) {
    throw std::runtime_error(platform::ToUtf8(message));
}

// A refused name may hold control characters; a NUL would cut the message short where it
// stands, so every one is shown as "?".
std::wstring Printable(std::wstring text) {
    for (wchar_t& c : text) {
        if (c < L' ' || c == 0x7F)
            c = L'?';
    }
    return text;
}

void CheckPackageSound(const PackageHeader& header, std::uint64_t fileSize) {
    const std::optional<PackageProblem> problem = CheckPackage(header, fileSize);
    if (!problem)
        return;
    const std::string name = platform::ToUtf8(Printable(platform::FromCp932(problem->name)));
    throw std::runtime_error(ProblemMessage(*problem, name));
}

// A record's bytes in the file it was checked against (CheckPackage).
std::span<const std::uint8_t> RecordBytes(std::span<const std::uint8_t> file, const cFile& record) {
    return file.subspan(static_cast<std::size_t>(record.nOffset - 1),
                        static_cast<std::size_t>(record.nLen));
}

void Unpack(const PackageHeader& header, std::span<const std::uint8_t> file) {
    const std::wstring temp = platform::TempFolderPath();
    for (const cFile& record : header.files) {
        const std::wstring path = temp + platform::FromCp932(record.szFileName);
        const DWORD error = platform::WriteWholeFile(path, RecordBytes(file, record));
        if (error != 0) {
            Fail(L"一時ファイル「" + path + L"」を書き込めませんでした。\n" +
                 platform::LastErrorText(error));
        }
        WrittenFiles().push_back(path);
    }
}

HeaderSettings ApplyHeader(const PackageHeader& header) {
    gTempFiles = header.files;
    gVersion = platform::FromCp932(header.gVersion);
    gCopyright = platform::FromCp932(header.gCopyright);
    return {platform::FromCp932(header.gCount), platform::FromCp932(header.gMove),
            platform::FromCp932(header.gLocation), platform::FromCp932(header.gAnim)};
}

}  // namespace

std::int32_t EXESize(const std::wstring& path) {
    if (!platform::FileExists(path))
        return 0;
    const platform::MappedFile file(path);
    return file.Ok() ? EXESize(file.Bytes()) : 0;
}

HeaderSettings ReadPackage() {
    gTempFiles.clear();
    ReleasePackageBytes();
    const std::wstring exe = platform::ExePath();
    auto file = std::make_unique<platform::MappedFile>(exe);
    if (!file->Ok()) {
        Fail(L"実行ファイル「" + exe + L"」を読み込めませんでした。\n" +
             platform::LastErrorText(file->Error()));
    }
    const PackageHeader header = ParsePackageHeader(file->Bytes(), EXESize(file->Bytes()));
    // Every record is checked before the first file is written, so a bad package leaves
    // nothing behind.
    CheckPackageSound(header, file->Bytes().size());
    const HeaderSettings settings = ApplyHeader(header);
    Unpack(header, file->Bytes());
    Mapped() = std::move(file);
    return settings;
}

std::wstring UnpackedPath(std::size_t i) {
    return platform::TempFolderPath() + platform::FromCp932(gTempFiles.at(i).szFileName);
}

std::span<const std::uint8_t> PackagedBytes(std::size_t i) {
    if (!Mapped() || i >= gTempFiles.size())
        return {};
    return RecordBytes(Mapped()->Bytes(), gTempFiles[i]);
}

void ReleasePackageBytes() {
    Mapped().reset();
}

void DeleteWrittenFiles() {
    for (const std::wstring& path : WrittenFiles())
        platform::DeleteFileNow(path);
}

}  // namespace tovalin::package

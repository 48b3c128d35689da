#include "platform/file_win32.h"

#include "platform/module_path.h"
#include "platform/paths.h"

namespace tovalin::platform {

std::wstring ExePath() {
    return ComposeExePath(ModulePath());
}

bool FileExists(const std::wstring& path) {
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::uint64_t> FileLength(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return std::nullopt;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool DeleteFileNow(const std::wstring& path) {
    return ::DeleteFileW(path.c_str()) != 0;
}

MappedFile::MappedFile(const std::wstring& path) {
    file_.reset(::CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) {
        error_ = ::GetLastError();
        return;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file_.get(), &size)) {
        error_ = ::GetLastError();
        return;
    }
    ok_ = true;
    if (size.QuadPart == 0)
        return;
    if (static_cast<unsigned long long>(size.QuadPart) > SIZE_MAX) {
        ok_ = false;
        error_ = ERROR_FILE_TOO_LARGE;
        return;
    }
    mapping_.reset(::CreateFileMappingW(file_.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (mapping_)
        view_.reset(::MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, 0));
    if (!view_) {
        ok_ = false;
        error_ = ::GetLastError();
        return;
    }
    bytes_ = {static_cast<const std::uint8_t*>(view_.get()),
              static_cast<std::size_t>(size.QuadPart)};
}

DWORD WriteWholeFile(const std::wstring& path, std::span<const std::uint8_t> bytes) {
    // Replacing, not overwriting in place: a longer file left by an earlier run must not keep
    // its old tail behind the new bytes.
    UniqueFile out(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out)
        return ::GetLastError();
    DWORD written = 0;
    if (!::WriteFile(out.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr)) {
        return ::GetLastError();
    }
    return written == bytes.size() ? 0 : ERROR_WRITE_FAULT;
}

}  // namespace tovalin::platform

#include "platform/file_win32.h"

namespace tovalin::platform {

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

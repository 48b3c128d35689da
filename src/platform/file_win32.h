// Files: whether one is there and how long it is, deleting it, a read-only mapping of a whole
// file, writing a file in one call, and the player's own file.
#pragma once

#include "platform/handles_win32.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tovalin::platform {

// The running executable as the player rebuilds its path: the folder, the base name and ".exe",
// whatever the file is really called.
std::wstring ExePath();

bool FileExists(const std::wstring& path);
std::optional<std::uint64_t> FileLength(const std::wstring& path);
bool DeleteFileNow(const std::wstring& path);

class MappedFile {
  public:
    // Maps the whole file read-only; Ok() is false when it cannot be opened. An empty file maps
    // to an empty view.
    explicit MappedFile(const std::wstring& path);

    bool Ok() const { return ok_; }
    DWORD Error() const { return error_; }
    std::span<const std::uint8_t> Bytes() const { return bytes_; }

  private:
    UniqueFile file_;
    UniqueKernelHandle mapping_;
    UniqueMapView view_;
    std::span<const std::uint8_t> bytes_;
    bool ok_ = false;
    DWORD error_ = 0;
};

// Creates or replaces the file with exactly these bytes. Returns 0 or the system error.
DWORD WriteWholeFile(const std::wstring& path, std::span<const std::uint8_t> bytes);

}  // namespace tovalin::platform

// Whole-file access: a read-only mapping of a file, and writing a file in one call.
#pragma once

#include "platform/handles_win32.h"

#include <cstdint>
#include <span>
#include <string>

namespace tovalin::platform {

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

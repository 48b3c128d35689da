// Profile (INI) files in code page 932, whatever the system's ANSI code page is.
#pragma once

#include <string>

namespace tovalin::platform {

// One key of a profile file; a missing file, section or key reads as "". At most 510 bytes of
// the value are read; leading and trailing blanks are removed.
std::wstring ReadProfileText(const std::wstring& path, const std::wstring& section,
                             const std::wstring& key);

// Writes one key; false when it could not be written (missing folder, read-only file).
bool WriteProfileText(const std::wstring& path, const std::wstring& section,
                      const std::wstring& key, const std::wstring& value);

}  // namespace tovalin::platform

// Text values of the current user's registry keys, which the user may write without
// administrator rights.
#pragma once

#include <optional>
#include <string>

namespace tovalin::platform {

// A text value of HKEY_CURRENT_USER\subkey; nothing when the key or the value is missing or
// holds no text.
std::optional<std::wstring> ReadUserText(const std::wstring& subkey, const std::wstring& name);

// Writes a text value, creating the key when it is missing; false when the system refused.
bool WriteUserText(const std::wstring& subkey, const std::wstring& name, const std::wstring& value);

// Removes a value; true once it is gone, also when there was none.
bool DeleteUserValue(const std::wstring& subkey, const std::wstring& name);

}  // namespace tovalin::platform

#include "platform/registry_win32.h"

#include "platform/handles_win32.h"

#include <vector>

namespace tovalin::platform {

namespace {

UniqueHkey OpenUserKey(const std::wstring& subkey, REGSAM access) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, access, &key) != ERROR_SUCCESS)
        return UniqueHkey();
    return UniqueHkey(key);
}

}  // namespace

std::optional<std::wstring> ReadUserText(const std::wstring& subkey, const std::wstring& name) {
    const UniqueHkey key = OpenUserKey(subkey, KEY_QUERY_VALUE);
    if (!key)
        return std::nullopt;
    DWORD type = 0;
    DWORD bytes = 0;
    if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, nullptr, &bytes) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    // One more character than asked for: a stored text need not end in a NUL.
    std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>((text.size() - 1) * sizeof(wchar_t));
    if (::RegQueryValueExW(key.get(), name.c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(text.data()), &bytes) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::wstring(text.data());
}

bool WriteUserText(const std::wstring& subkey, const std::wstring& name,
                   const std::wstring& value) {
    HKEY raw = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                          &raw, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const UniqueHkey key(raw);
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key.get(), name.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(value.c_str()), bytes) == ERROR_SUCCESS;
}

bool DeleteUserValue(const std::wstring& subkey, const std::wstring& name) {
    HKEY raw = nullptr;
    const LSTATUS opened =
        ::RegOpenKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_SET_VALUE, &raw);
    if (opened == ERROR_FILE_NOT_FOUND)
        return true;  // no key, no value
    if (opened != ERROR_SUCCESS)
        return false;
    const UniqueHkey key(raw);
    const LSTATUS status = ::RegDeleteValueW(key.get(), name.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

}  // namespace tovalin::platform

// The snapshot of installed programs: every subkey of the three Uninstall
// locations, and the REG_SZ DisplayNames (with their DisplayVersions) found
// below them.

#include "install/installed_index.h"

#include <windows.h>

#include "core/handles.h"

namespace {

struct UninstallLocation {
    const wchar_t* prefix;
    HKEY root;
    const wchar_t* subkey;
};

// A 64-bit process sees the native view under the first key; the 32-bit view's
// key is named explicitly rather than reached through a WOW64 flag.
const UninstallLocation kLocations[] = {
    {L"LM64\\", HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
    {L"LM32\\", HKEY_LOCAL_MACHINE, L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
    {L"CU\\", HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"},
};

constexpr DWORD kNameChars = 256;
constexpr DWORD kValueBytes = 512;

UniqueRegKey openKey(HKEY parent, const wchar_t* subkey)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) return UniqueRegKey();
    return UniqueRegKey(key);
}

// A text value of one entry when it is a REG_SZ that fits the buffer.
bool readTextValue(HKEY entry, const wchar_t* valueName, std::wstring& text)
{
    wchar_t data[kValueBytes / sizeof(wchar_t)];
    DWORD type = 0;
    DWORD bytes = kValueBytes;
    if (RegQueryValueExW(entry, valueName, nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ) return false;
    // The stored data need not end in a NUL: never read past what was returned.
    const size_t units = bytes / sizeof(wchar_t);
    size_t length = 0;
    while (length < units && data[length] != L'\0') ++length;
    text.assign(data, length);
    return true;
}

void scanLocation(const UninstallLocation& location, InstalledIndex& index)
{
    UniqueRegKey root = openKey(location.root, location.subkey);
    if (!root) return;
    for (DWORD i = 0;; ++i) {
        wchar_t name[kNameChars];
        DWORD chars = kNameChars;
        // Any failure ends the walk, a name too long for the buffer included.
        if (RegEnumKeyExW(root.get(), i, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        index.entries.insert(location.prefix + std::wstring(name, chars));
        UniqueRegKey entry = openKey(root.get(), name);
        if (!entry) continue;
        std::wstring displayName;
        if (!readTextValue(entry.get(), L"DisplayName", displayName)) continue;
        std::wstring displayVersion;  // stays empty unless readable by the same rules
        readTextValue(entry.get(), L"DisplayVersion", displayVersion);
        index.displayNames.push_back(std::move(displayName));
        index.displayVersions.push_back(std::move(displayVersion));
    }
}

}  // namespace

InstalledIndex::InstalledIndex()
{
    for (const auto& location : kLocations) scanLocation(location, *this);
}

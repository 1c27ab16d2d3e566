#include "ui/product_version.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace {

struct Translation {
    WORD language;
    WORD codePage;
};

}  // namespace

std::wstring moduleProductVersion()
{
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::wstring();

    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    if (size == 0) return std::wstring();
    std::vector<unsigned char> block(size);
    if (!GetFileVersionInfoW(path, 0, size, block.data())) return std::wstring();

    void* translations = nullptr;
    UINT translationsSize = 0;
    if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &translations, &translationsSize) ||
        translationsSize < sizeof(Translation))
        return std::wstring();
    const Translation first = *static_cast<const Translation*>(translations);

    wchar_t query[64];
    std::swprintf(query, sizeof query / sizeof query[0], L"\\StringFileInfo\\%04x%04x\\ProductVersion",
                  first.language, first.codePage);
    void* value = nullptr;
    UINT valueLength = 0;  // in characters, with the NUL
    if (!VerQueryValueW(block.data(), query, &value, &valueLength) || !value || valueLength == 0)
        return std::wstring();
    std::wstring version(static_cast<const wchar_t*>(value), valueLength);
    version.resize(version.find(L'\0') == std::wstring::npos ? version.size() : version.find(L'\0'));
    return version;
}

#include "core/program_folder.h"

#include <windows.h>

std::wstring programFolder()
{
    wchar_t buffer[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    if (length >= MAX_PATH) length = MAX_PATH - 1;
    std::wstring path(buffer, length);
    size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return L".";
    return path.substr(0, slash);
}

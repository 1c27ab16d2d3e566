// Version texts reduced to digits and dots. Platform-free.

#include "net/version_text.h"

#include <cwctype>

std::wstring normalizeVersion(const std::wstring& version)
{
    std::wstring result;
    for (wchar_t c : version) {
        if (std::iswdigit(c)) {
            result.push_back(c);
        } else if (c == L' ' || c == L',' || c == L'.') {
            if (!result.empty() && result.back() != L'.') result.push_back(L'.');
        }
    }
    while (!result.empty() && result.back() == L'.') result.pop_back();
    const size_t first = result.find(L'.');
    if (first != std::wstring::npos) {
        const size_t second = result.find(L'.', first + 1);
        if (second != std::wstring::npos) result.resize(second);
    }
    return result;
}

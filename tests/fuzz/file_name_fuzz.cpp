// Application names from arbitrary bytes (two bytes per UTF-16 unit, little
// endian). Whatever the name, the stem must be a file name Windows creates as an
// ordinary file: no forbidden or control characters, 1 to 50 units, no device.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "download/file_name.h"

namespace {

bool forbidden(wchar_t c)
{
    return c < 0x20 || std::wstring(L"\"*/:<>?\\|").find(c) != std::wstring::npos;
}

std::wstring upperAscii(std::wstring text)
{
    for (auto& c : text)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
    return text;
}

bool isDevice(const std::wstring& stem)
{
    std::wstring base = stem.substr(0, stem.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    base = upperAscii(base);
    if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL") return true;
    if (base.size() != 4 || (base.compare(0, 3, L"COM") != 0 && base.compare(0, 3, L"LPT") != 0)) return false;
    wchar_t d = base[3];
    return (d >= L'0' && d <= L'9') || d == 0xB9 || d == 0xB2 || d == 0xB3;
}

bool startsWith(const std::wstring& text, const std::wstring& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::wstring name;
    for (size_t i = 0; i + 1 < size; i += 2) name.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));

    const std::wstring stem = fileNameFromAppName(name);
    if (stem.empty() || stem.size() > 50) std::abort();
    for (wchar_t c : stem)
        if (forbidden(c)) std::abort();
    if (isDevice(stem)) std::abort();

    // The stem is the kept characters, in order, cut short; or that behind an
    // underscore; or "app" when nothing was kept.
    std::wstring kept;
    for (wchar_t c : name)
        if (!forbidden(c)) kept.push_back(c);
    bool guarded = stem[0] == L'_' && startsWith(kept, stem.substr(1));
    if (!startsWith(kept, stem) && !guarded && stem != L"app") std::abort();

    // A stem without a trailing space comes back unchanged.
    if (stem.back() != L' ' && fileNameFromAppName(stem) != stem) std::abort();
    return 0;
}

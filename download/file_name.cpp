#include "download/file_name.h"

#include <cstddef>

#include "core/ascii.h"

namespace {

constexpr size_t kMaxStemUnits = 50;

// Characters Windows forbids in a file name, besides the control characters.
bool isDroppedUnit(wchar_t c)
{
    if (c < 0x20) return true;
    switch (c) {
    case L'"':
    case L'*':
    case L'/':
    case L':':
    case L'<':
    case L'>':
    case L'?':
    case L'\\':
    case L'|':
        return true;
    default:
        return false;
    }
}

// word is lower-case ASCII.
bool equalsIgnoringAsciiCase(const std::wstring& text, const wchar_t* word)
{
    size_t i = 0;
    for (; word[i] != 0; ++i) {
        if (i >= text.size() || asciiLower(text[i]) != word[i]) return false;
    }
    return i == text.size();
}

// COM and LPT take a digit; Windows also counts the superscripts 1 to 3 and,
// on recent versions, 0.
bool isPortDigit(wchar_t c)
{
    return (c >= L'0' && c <= L'9') || c == 0x00B9 || c == 0x00B2 || c == 0x00B3;
}

// Windows opens a device for a name whose part before the first dot, once its
// trailing spaces are ignored, is a device name: "con", "CON.txt", "nul .exe".
bool isDeviceName(const std::wstring& stem)
{
    std::wstring base = stem.substr(0, stem.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.pop_back();

    for (const wchar_t* device : {L"con", L"prn", L"aux", L"nul"}) {
        if (equalsIgnoringAsciiCase(base, device)) return true;
    }
    if (base.size() == 4 && isPortDigit(base[3])) {
        std::wstring prefix = base.substr(0, 3);
        return equalsIgnoringAsciiCase(prefix, L"com") || equalsIgnoringAsciiCase(prefix, L"lpt");
    }
    return false;
}

}  // namespace

std::wstring fileNameFromAppName(const std::wstring& name)
{
    std::wstring stem;
    stem.reserve(name.size());
    for (wchar_t c : name) {
        if (!isDroppedUnit(c)) stem.push_back(c);
    }
    while (!stem.empty() && stem.back() == L' ') stem.pop_back();
    if (stem.size() > kMaxStemUnits) stem.resize(kMaxStemUnits);

    // Checked after the cut, which may leave a device name followed only by
    // spaces ("CON" + spaces + "x" cut before the "x"). The underscore goes in
    // front and the stem is cut again, so it never grows past 50 units; the
    // unit lost at the end cannot make "_..." a device name.
    if (isDeviceName(stem)) {
        stem.insert(stem.begin(), L'_');
        if (stem.size() > kMaxStemUnits) stem.resize(kMaxStemUnits);
    }

    if (stem.empty()) return L"app";
    return stem;
}

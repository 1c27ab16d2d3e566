// Version order by numbers that may be longer than any integer type: each
// number is compared as a digit string without its leading zeros.

#include "install/version_compare.h"

#include <vector>

#include "net/version_text.h"

namespace {

bool isAsciiDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// The numbers of a normalised version, leading zeros dropped ("0" becomes "").
// False when a number holds a digit outside 0-9.
bool splitNumbers(const std::wstring& normalized, std::vector<std::wstring>& numbers)
{
    size_t start = 0;
    while (start <= normalized.size()) {
        size_t end = normalized.find(L'.', start);
        if (end == std::wstring::npos) end = normalized.size();
        size_t first = start;
        while (first < end && normalized[first] == L'0') ++first;
        for (size_t i = first; i < end; ++i) {
            if (!isAsciiDigit(normalized[i])) return false;
        }
        numbers.push_back(normalized.substr(first, end - first));
        start = end + 1;
    }
    return true;
}

// Both without leading zeros: the longer is larger, else the first differing digit decides.
int compareNumbers(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    const int order = a.compare(b);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

}  // namespace

VersionOrder compareVersions(const std::wstring& version, const std::wstring& reference)
{
    const std::wstring a = normalizeVersion(version);
    const std::wstring b = normalizeVersion(reference);
    if (a.empty() || b.empty()) return VersionOrder::Unknown;
    std::vector<std::wstring> numbersA, numbersB;
    if (!splitNumbers(a, numbersA) || !splitNumbers(b, numbersB)) return VersionOrder::Unknown;
    const std::wstring zero;
    const size_t count = numbersA.size() > numbersB.size() ? numbersA.size() : numbersB.size();
    for (size_t i = 0; i < count; ++i) {
        const int order = compareNumbers(i < numbersA.size() ? numbersA[i] : zero,
                                         i < numbersB.size() ? numbersB[i] : zero);
        if (order != 0) return order < 0 ? VersionOrder::Older : VersionOrder::Newer;
    }
    return VersionOrder::Same;
}

#include "net/http_text.h"

#include <cstddef>

#include "core/ascii.h"

namespace {

// prefix is lower-case ASCII; only ASCII letters fold, whatever the locale.
bool startsWithNoCase(const std::wstring& text, const wchar_t* prefix)
{
    for (std::size_t i = 0; prefix[i]; ++i) {
        if (i >= text.size()) return false;
        if (asciiLower(text[i]) != prefix[i]) return false;
    }
    return true;
}

bool isAbsoluteHttpUrl(const std::wstring& location)
{
    return (location.size() > 7 && startsWithNoCase(location, L"http://")) ||
           (location.size() > 8 && startsWithNoCase(location, L"https://"));
}

std::wstring authority(const UrlParts& current)
{
    // A literal IPv6 address needs brackets inside a URL; keep them if present.
    bool bare = current.host.find(L':') != std::wstring::npos && current.host[0] != L'[';
    std::wstring host = bare ? L"[" + current.host + L"]" : current.host;
    std::wstring text = current.scheme + L"://" + host;
    bool defaultPort = current.secure ? current.port == 443 : current.port == 80;
    if (!defaultPort) text += L":" + std::to_wstring(current.port);
    return text;
}

// The current path up to and including its last '/'; the query and fragment
// are no part of the path, so a '/' inside them does not count.
std::wstring currentDirectory(const std::wstring& pathWithQuery)
{
    std::wstring path = pathWithQuery.substr(0, pathWithQuery.find_first_of(L"?#"));
    std::size_t slash = path.rfind(L'/');
    if (slash == std::wstring::npos) return L"/";
    return path.substr(0, slash + 1);
}

}  // namespace

std::wstring redirectTarget(const std::wstring& location, const UrlParts& current)
{
    if (isAbsoluteHttpUrl(location)) return location;
    if (!location.empty() && location[0] == L'/') return authority(current) + location;
    return authority(current) + currentDirectory(current.pathWithQuery) + location;
}

int64_t leadingDecimal(const std::wstring& text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
    int64_t value = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        int digit = text[i] - L'0';
        if (value > (INT64_MAX - digit) / 10) return INT64_MAX;
        value = value * 10 + digit;
    }
    return value;
}

int64_t contentRangeTotal(const std::wstring& value)
{
    std::size_t slash = value.rfind(L'/');
    if (slash == std::wstring::npos) return -1;
    std::wstring total = value.substr(slash + 1);
    if (total.empty() || total == L"*") return -1;
    return leadingDecimal(total);
}

int64_t contentRangeFirst(const std::wstring& value)
{
    std::size_t at = 0;
    while (at < value.size() && value[at] == L' ') ++at;
    if (startsWithNoCase(value.substr(at), L"bytes ")) at += 6;
    while (at < value.size() && value[at] == L' ') ++at;
    if (at >= value.size() || value[at] < L'0' || value[at] > L'9') return -1;
    return leadingDecimal(value.substr(at));
}

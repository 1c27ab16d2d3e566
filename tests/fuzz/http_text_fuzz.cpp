// Redirect targets and header numbers from arbitrary text. The input is split
// at the first two 0x01 bytes into Location, current host and current path;
// each byte becomes one UTF-16 unit. Checks the shape of every answer.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/http_text.h"

namespace {

std::wstring widen(const uint8_t* data, std::size_t size)
{
    return std::wstring(data, data + size);
}

bool startsWith(const std::wstring& text, const std::wstring& prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    std::wstring all = widen(data, size);
    std::size_t first = all.find(L'\x01');
    std::size_t second = first == std::wstring::npos ? std::wstring::npos : all.find(L'\x01', first + 1);
    std::wstring location = all.substr(0, first);
    std::wstring host = first == std::wstring::npos ? L"h" : all.substr(first + 1, second - first - 1);
    std::wstring path = second == std::wstring::npos ? L"/" : all.substr(second + 1);
    bool secure = size % 2 == 1;
    UrlParts current{secure, secure ? L"https" : L"http", host, static_cast<uint16_t>(size * 131), path};

    std::wstring target = redirectTarget(location, current);
    // Either the Location as it is, or the current scheme and host with the
    // Location at the end.
    if (target != location && !startsWith(target, current.scheme + L"://")) std::abort();
    if (target.size() < location.size() || target.compare(target.size() - location.size(), location.size(), location) != 0)
        std::abort();

    if (leadingDecimal(all) < 0) std::abort();
    int64_t total = contentRangeTotal(all);
    if (total < -1) std::abort();
    if (all.find(L'/') == std::wstring::npos && total != -1) std::abort();
    return 0;
}

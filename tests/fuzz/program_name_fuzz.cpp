// Feeds arbitrary UTF-16 unit sequences to the installed-program name rule.
// Besides the sanitizers' checks: a normalised name holds no dropped space and
// no ASCII capital, normalising twice changes nothing, matching sees only the
// normalised names, and a name matches itself exactly when it is not blank.

#include "install/installed_index.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void check(bool condition)
{
    if (!condition) std::abort();
}

// Little-endian 16-bit units, as the names are on Windows.
std::wstring units(const uint8_t* data, size_t size)
{
    std::wstring out;
    for (size_t i = 0; i + 1 < size; i += 2) out.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    return out;
}

void checkNormalised(const std::wstring& name)
{
    const std::wstring n = normalizeProgramName(name);
    check(n.size() <= name.size());
    for (wchar_t c : n) check(c != L' ' && c != L'\t' && c != L'\u3000' && !(c >= L'A' && c <= L'Z'));
    check(normalizeProgramName(n) == n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    // The first byte says where the app name ends and the DisplayName begins.
    const size_t split = 1 + 2 * (static_cast<size_t>(data[0]) % (size / 2 + 1));
    const size_t cut = split < size ? split : size;
    const std::wstring app = units(data + 1, cut - 1);
    const std::wstring display = units(data + cut, size - cut);

    checkNormalised(app);
    checkNormalised(display);

    const bool matches = matchesInstalledName(app, display);
    check(matches == matchesInstalledName(normalizeProgramName(app), normalizeProgramName(display)));
    check(matchesInstalledName(app, app) == !normalizeProgramName(app).empty());
    if (matches) {
        check(!normalizeProgramName(app).empty());
        check(normalizeProgramName(display).size() >= normalizeProgramName(app).size());
    }
    return 0;
}

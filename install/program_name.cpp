// The name rule by which a catalog app is recognised among the DisplayNames of
// the Uninstall keys. Platform-free.

#include "core/ascii.h"
#include "install/installed_index.h"

namespace {

// Installers often append a version or an architecture to the product name
// ("Foo 2.1 (x64)"); a DisplayName may run this many units past the app name.
constexpr size_t kNameSuffixAllowance = 16;

bool isDroppedSpace(wchar_t c) { return c == L' ' || c == L'\u3000' || c == L'\t'; }

}  // namespace

std::wstring normalizeProgramName(const std::wstring& name)
{
    std::wstring out;
    out.reserve(name.size());
    for (wchar_t c : name) {
        if (isDroppedSpace(c)) continue;
        // Only ASCII letters fold, so the rule does not depend on the user's locale.
        out.push_back(asciiLower(c));
    }
    return out;
}

bool matchesInstalledName(const std::wstring& appName, const std::wstring& displayName)
{
    const std::wstring a = normalizeProgramName(appName);
    if (a.empty()) return false;
    const std::wstring d = normalizeProgramName(displayName);
    if (d.size() < a.size() || d.size() - a.size() > kNameSuffixAllowance) return false;
    return d.compare(0, a.size(), a) == 0;
}

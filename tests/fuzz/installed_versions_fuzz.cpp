// Feeds arbitrary names and version texts to the version order and to the
// matching of catalog apps against a snapshot's DisplayNames. Besides the
// sanitizers' checks: the order is antisymmetric, a version is the same as
// itself unless it cannot be read, and the sorted matching finds the apps and
// the newest versions that trying every DisplayName finds.

#include "install/installed_index.h"
#include "install/installed_match.h"
#include "install/version_compare.h"
#include "net/version_text.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void check(bool condition)
{
    if (!condition) std::abort();
}

// Little-endian 16-bit units, as the texts are on Windows.
std::wstring units(const uint8_t* data, size_t size)
{
    std::wstring out;
    for (size_t i = 0; i + 1 < size; i += 2) out.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    return out;
}

std::vector<std::wstring> split(const std::wstring& text, wchar_t separator)
{
    std::vector<std::wstring> pieces(1);
    for (wchar_t c : text) {
        if (c == separator) pieces.emplace_back();
        else pieces.back().push_back(c);
    }
    return pieces;
}

VersionOrder mirrored(VersionOrder order)
{
    if (order == VersionOrder::Newer) return VersionOrder::Older;
    if (order == VersionOrder::Older) return VersionOrder::Newer;
    return order;
}

void checkOrder(const std::wstring& a, const std::wstring& b)
{
    const VersionOrder forward = compareVersions(a, b);
    check(compareVersions(b, a) == mirrored(forward));
    check((forward == VersionOrder::Unknown) ==
          (compareVersions(a, a) == VersionOrder::Unknown || compareVersions(b, b) == VersionOrder::Unknown));
    if (compareVersions(a, a) != VersionOrder::Unknown) check(compareVersions(a, a) == VersionOrder::Same);
    check(compareVersions(normalizeVersion(a), b) == forward);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    // Pieces split at "\n"; the first byte says how many are app names, the
    // rest are DisplayName "|" DisplayVersion.
    const std::vector<std::wstring> pieces = split(units(data + 1, size - 1), L'\n');
    const size_t appCount = static_cast<size_t>(data[0]) % (pieces.size() + 1);

    std::vector<CatalogAppName> apps;
    for (size_t i = 0; i < appCount; ++i) apps.push_back({static_cast<int32_t>(i), pieces[i]});
    std::vector<std::wstring> names, versions;
    for (size_t i = appCount; i < pieces.size(); ++i) {
        const std::vector<std::wstring> parts = split(pieces[i], L'|');
        names.push_back(parts[0]);
        versions.push_back(parts.size() > 1 ? parts[1] : std::wstring());
    }
    for (size_t i = 0; i + 1 < versions.size(); ++i) checkOrder(versions[i], versions[i + 1]);
    for (size_t i = 0; i < pieces.size() && i < 4; ++i) checkOrder(pieces[i], pieces[pieces.size() - 1 - i]);

    const InstalledStates states = matchInstalledApps(apps, names, versions);
    for (const auto& app : apps) {
        bool matched = false;
        const auto it = states.find(app.id);
        for (size_t d = 0; d < names.size(); ++d) {
            if (!matchesInstalledName(app.name, names[d])) continue;
            matched = true;
            // No matching entry is newer than the version kept.
            check(it != states.end() && compareVersions(versions[d], it->second.installedVersion) != VersionOrder::Newer);
        }
        check(matched == (it != states.end()));
    }
    check(states.size() <= apps.size());
    return 0;
}

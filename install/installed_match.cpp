// Catalog apps matched against the DisplayNames of one snapshot. Platform-free.
//
// A catalog may hold thousands of apps and a machine thousands of entries, so
// the DisplayNames are normalised once and sorted: the names an app can match
// begin with its normalised name and lie together in that order.

#include "install/installed_match.h"

#include <algorithm>

#include "install/installed_index.h"
#include "install/version_compare.h"
#include "net/version_text.h"

namespace {

struct SortedName {
    std::wstring normalized;
    size_t index;  // into the snapshot's lists
};

std::vector<SortedName> sortedNames(const std::vector<std::wstring>& displayNames)
{
    std::vector<SortedName> sorted;
    sorted.reserve(displayNames.size());
    for (size_t i = 0; i < displayNames.size(); ++i) sorted.push_back({normalizeProgramName(displayNames[i]), i});
    std::sort(sorted.begin(), sorted.end(),
              [](const SortedName& a, const SortedName& b) { return a.normalized < b.normalized; });
    return sorted;
}

// Indexes of the DisplayNames the app matches, in reading order.
std::vector<size_t> matchesOf(const std::wstring& appName, const std::vector<SortedName>& sorted,
                              const std::vector<std::wstring>& displayNames)
{
    std::vector<size_t> found;
    const std::wstring prefix = normalizeProgramName(appName);
    if (prefix.empty()) return found;
    auto it = std::lower_bound(sorted.begin(), sorted.end(), prefix,
                               [](const SortedName& name, const std::wstring& key) { return name.normalized < key; });
    for (; it != sorted.end() && it->normalized.compare(0, prefix.size(), prefix) == 0; ++it) {
        if (matchesInstalledName(appName, displayNames[it->index])) found.push_back(it->index);
    }
    std::sort(found.begin(), found.end());
    return found;
}

// An app installed twice (per user and per machine, say) is as new as its
// newest copy: only an update of every copy would be offered otherwise.
bool betterVersion(const std::wstring& candidate, const std::wstring& best)
{
    if (normalizeVersion(best).empty()) return !normalizeVersion(candidate).empty();
    return compareVersions(candidate, best) == VersionOrder::Newer;
}

}  // namespace

InstalledStates matchInstalledApps(const std::vector<CatalogAppName>& apps,
                                   const std::vector<std::wstring>& displayNames,
                                   const std::vector<std::wstring>& displayVersions)
{
    InstalledStates states;
    const std::vector<SortedName> sorted = sortedNames(displayNames);
    for (const auto& app : apps) {
        for (size_t i : matchesOf(app.name, sorted, displayNames)) {
            const std::wstring version = i < displayVersions.size() ? displayVersions[i] : std::wstring();
            InstalledState& state = states[app.id];
            if (!state.installed || betterVersion(version, state.installedVersion)) state.installedVersion = version;
            state.installed = true;
        }
    }
    return states;
}

// Catalog apps matched against the DisplayNames of one snapshot. Platform-free.

#include "install/installed_match.h"

#include "install/installed_index.h"
#include "install/version_compare.h"
#include "net/version_text.h"

namespace {

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
    for (const auto& app : apps) {
        for (size_t i = 0; i < displayNames.size(); ++i) {
            if (!matchesInstalledName(app.name, displayNames[i])) continue;
            const std::wstring version = i < displayVersions.size() ? displayVersions[i] : std::wstring();
            InstalledState& state = states[app.id];
            if (!state.installed || betterVersion(version, state.installedVersion)) state.installedVersion = version;
            state.installed = true;
        }
    }
    return states;
}

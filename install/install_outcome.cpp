#include "install/install_outcome.h"

#include "install/installed_index.h"

bool isListed(const std::wstring& appName, const std::vector<std::wstring>& displayNames)
{
    for (const auto& displayName : displayNames)
        if (matchesInstalledName(appName, displayName)) return true;
    return false;
}

bool installationConfirmed(const std::set<std::wstring>& entriesBefore, const std::set<std::wstring>& entriesAfter,
                           bool wasListed)
{
    if (entriesAfter.empty()) return wasListed;
    // Nothing to compare against: whatever is there now may be the new program.
    if (entriesBefore.empty()) return true;
    for (const auto& entry : entriesAfter)
        if (entriesBefore.count(entry) == 0) return true;
    return wasListed;
}

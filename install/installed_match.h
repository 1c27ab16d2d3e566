#pragma once
// Which catalog apps a snapshot of the Uninstall keys shows as installed, and
// at what version. Platform-free.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct CatalogAppName {
    int32_t id = 0;
    std::wstring name;
};

struct InstalledState {
    bool installed = false;
    std::wstring installedVersion;  // the DisplayVersion as stored; may be empty
};

// Only installed apps have an entry.
using InstalledStates = std::map<int32_t, InstalledState>;

// An app is installed when its name matches a DisplayName by
// matchesInstalledName. When several entries match, the newest version wins,
// and any version wins over none. displayVersions[i] belongs to
// displayNames[i]; a missing one counts as empty.
InstalledStates matchInstalledApps(const std::vector<CatalogAppName>& apps,
                                   const std::vector<std::wstring>& displayNames,
                                   const std::vector<std::wstring>& displayVersions);

#pragma once
// How the installer worker judges an installer that exited with code 0, from the
// snapshots taken before and after it ran. Platform-free.

#include <set>
#include <string>
#include <vector>

// True when some DisplayName matches the app name (matchesInstalledName).
bool isListed(const std::wstring& appName, const std::vector<std::wstring>& displayNames);

// True when the installation is taken as done: a new Uninstall entry appeared,
// or the app was already listed (an update). Empty snapshots are read as "the
// registry could not be seen" rather than as "nothing changed".
bool installationConfirmed(const std::set<std::wstring>& entriesBefore, const std::set<std::wstring>& entriesAfter,
                           bool wasListed);

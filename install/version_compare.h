#pragma once
// Which of two version texts is newer. Platform-free.

#include <string>

enum class VersionOrder { Older, Same, Newer, Unknown };

// How `version` stands against `reference`, number by number after
// normalizeVersion of both; a missing number counts as 0 ("2" is "2.0").
// Unknown when either side normalises to nothing or holds a digit that is not
// an ASCII one (the platform's digit test accepts other scripts' digits too).
VersionOrder compareVersions(const std::wstring& version, const std::wstring& reference);

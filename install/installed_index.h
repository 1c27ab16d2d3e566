#pragma once
// Snapshot of the programs Windows lists under the three Uninstall keys.

#include <set>
#include <string>
#include <vector>

struct InstalledIndex {
    InstalledIndex();                        // takes the snapshot
    std::set<std::wstring> entries;          // "LM64\..." "LM32\..." "CU\..."
    std::vector<std::wstring> displayNames;  // in reading order, repeats kept
    // The DisplayVersion of the entry each DisplayName came from, at the same
    // index; empty when the entry has none or not as a REG_SZ.
    std::vector<std::wstring> displayVersions;
};

// Platform-free (install/program_name.cpp).
std::wstring normalizeProgramName(const std::wstring& name);
bool matchesInstalledName(const std::wstring& appName, const std::wstring& displayName);

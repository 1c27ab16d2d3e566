#pragma once
// Where downloads are saved: the user's chosen folder, else Downloads\Pakvane.

#include <string>

// Stores dir without trailing backslashes; an empty dir clears the choice.
void setDownloadFolderOverride(const std::wstring& dir);
// Resolved afresh on each call; never has a trailing backslash.
std::wstring downloadFolder();
// True only when path names an existing folder (not a file, not nothing):
// the shell's "open" would run a file.
bool isExistingFolder(const std::wstring& path);

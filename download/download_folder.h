#pragma once
// Where downloads are saved: the user's chosen folder, else Downloads\Pakvane.

#include <windows.h>

#include <string>

// Stores dir without trailing backslashes; an empty dir clears the choice.
void setDownloadFolderOverride(const std::wstring& dir);
// Resolved afresh on each call, creating the folder; never has a trailing
// backslash. May wait on a slow or absent disk: not for the UI thread.
std::wstring downloadFolder();

// ---- for the UI thread: nothing below waits for a disk or the shell.

// Resolves and creates the folder on a worker (one at a time; a request made
// meanwhile runs once more after it) and posts WM_APP_REFRESH to window when
// the folder it knows changed. window may be null.
void refreshDownloadFolder(HWND window);
// The chosen folder, else the default as a worker last resolved it; empty
// until then.
std::wstring knownDownloadFolder();
// The folder in use, where a new download goes: the known folder; without one
// yet, the default looked up here once, without creating it (a download's
// worker creates it: createFolderOf).
std::wstring downloadFolderInUse();
// Creates the folder path lies in (its last level only); for workers.
void createFolderOf(const std::wstring& path);
// True only when path names an existing folder (not a file, not nothing):
// the shell's "open" would run a file.
bool isExistingFolder(const std::wstring& path);

#pragma once
// Text rules of the settings dialog that need no window: what "保存" stores
// and what the footer says.

#include <string>

// The folder to store for the edit control's text: trailing "\" and "/"
// removed; a drive root (three characters or fewer once stripped) becomes
// empty, which means the default folder.
std::wstring downloadDirToStore(const std::wstring& editText);

// A product version cut just before its third ".": "1.2.3.4" gives "1.2.3".
std::wstring shortProductVersion(const std::wstring& productVersion);

// The credit line, then "    版本 v" and the short version unless that is empty.
std::wstring settingsFooterText(const std::wstring& productVersion);

extern const wchar_t kSettingsCredit[];

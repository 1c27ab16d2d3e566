#pragma once
// Platform-free.

#include <string>

// A file-name stem from an application's display name, safe to create on Windows.
std::wstring fileNameFromAppName(const std::wstring& name);

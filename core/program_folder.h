#pragma once
// The folder of the running executable.

#include <string>

// Without a trailing backslash; "." when the path has no folder part.
std::wstring programFolder();

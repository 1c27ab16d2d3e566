#pragma once
// The ProductVersion string of the running executable's version resource.

#include <string>

// Empty when the file has no version resource, no translation table or no
// ProductVersion value.
std::wstring moduleProductVersion();

#pragma once
// The catalog's version rule. Platform-free.

#include <string>

// Digits and dots only, at most major.minor ("v1.2.3" -> "1.2").
std::wstring normalizeVersion(const std::wstring& version);

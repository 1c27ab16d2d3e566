#pragma once
// Conversions across the border between UTF-16 (everything shown and every path)
// and UTF-8 (everything on the wire and in files).

#include <string>

// Invalid UTF-8 is replaced with U+FFFD by the platform; never fails.
std::wstring utf8ToWide(const std::string& utf8);
// Unpaired surrogates are replaced by the platform; never fails.
std::string wideToUtf8(const std::wstring& wide);
// Encodes a UTF-8 query value: ASCII letters, digits, '-', '.', '_' (and '~' when
// keepTilde) stay, every other byte becomes %XX with upper-case hex digits.
// Platform-free.
std::string percentEncode(const std::string& utf8, bool keepTilde);

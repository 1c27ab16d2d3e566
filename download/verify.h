#pragma once

#include <string>

// MD5 of a file as 32 lower-case hex characters; false leaves out untouched.
bool fileMd5Hex(const std::wstring& path, std::string& out);

enum class DigestCheck { Matches, Differs, Unreadable };

// The file's MD5 against the catalog's (hex letters in either case).
// Unreadable when the digest cannot be computed: the file is then unverified.
DigestCheck checkFileDigest(const std::wstring& path, const std::string& expectedMd5);

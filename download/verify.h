#pragma once

#include <string>

// MD5 of a file as 32 lower-case hex characters; false leaves out untouched.
bool fileMd5Hex(const std::wstring& path, std::string& out);

#pragma once
// What a downloaded file is, from its first bytes. Platform-free.

#include <cstddef>

// The archive extension ("zip", "rar" or "7z") that a file's first bytes show,
// or nullptr when they show none of them or are too few to tell.
const char* archiveExtension(const unsigned char* bytes, size_t count);

// "msi" when the first bytes are the compound-file signature that Windows
// Installer packages carry (all 8 of them are needed), else nullptr.
const char* installerPackageExtension(const unsigned char* bytes, size_t count);

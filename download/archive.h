#pragma once
// Platform-free.

#include <cstddef>

// The archive extension ("zip", "rar" or "7z") that a file's first bytes show,
// or nullptr when they show none of them or are too few to tell.
const char* archiveExtension(const unsigned char* bytes, size_t count);

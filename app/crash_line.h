#pragma once
// The crash log's line, built in a caller's buffer: the filter runs on a
// crashed thread, where the heap may be the thing that broke.

#include <cstddef>
#include <cstdint>

// Fits a line with the most frames the filter captures.
constexpr size_t kCrashLineCapacity = 512;
constexpr size_t kCrashMaxFrames = 16;

// Writes "code=" + 8 hex digits + " rva=" + 16 hex digits + " frames:", then
// " " + 16 hex digits per frame (uppercase, zero-padded),
// then "\r\n", NUL-terminated. Offsets are already relative to the load
// address (wrapped when below it). At most kCrashMaxFrames frames are taken.
// Returns the length without the NUL, or 0 when the buffer is too small.
size_t formatCrashLine(char* out, size_t capacity, uint32_t code, uint64_t rva, const uint64_t* frames,
                       size_t frameCount);

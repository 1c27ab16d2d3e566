#include "app/crash_line.h"

#include <cinttypes>
#include <cstdio>

namespace {

// Appends a formatted piece; false when it does not fit whole.
template <typename... Args>
bool append(char* out, size_t capacity, size_t& length, const char* format, Args... args)
{
    int written = std::snprintf(out + length, capacity - length, format, args...);
    if (written < 0 || static_cast<size_t>(written) >= capacity - length) return false;
    length += static_cast<size_t>(written);
    return true;
}

}  // namespace

size_t formatCrashLine(char* out, size_t capacity, uint32_t code, uint64_t rva, const uint64_t* frames,
                       size_t frameCount)
{
    if (!out || capacity == 0) return 0;
    out[0] = '\0';
    size_t length = 0;
    if (!append(out, capacity, length, "code=%08" PRIX32 " rva=%016" PRIX64 " frames:", code, rva)) return 0;
    if (frameCount > kCrashMaxFrames) frameCount = kCrashMaxFrames;
    for (size_t i = 0; i < frameCount; ++i) {
        if (!append(out, capacity, length, " %016" PRIX64, frames[i])) return 0;
    }
    // The log is a Windows text file: lines end in CR LF.
    if (!append(out, capacity, length, "\r\n")) return 0;
    return length;
}

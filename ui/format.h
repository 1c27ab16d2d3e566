#pragma once
// Short display texts for sizes, speeds and dates.

#include <cstdint>
#include <string>

// "0 B", "1023 B", "1 KB", "1.5 MB", "1.00 GB" (units of 1024).
std::wstring formatSize(int64_t bytes);
// Empty for 0 or less; "1023 B/s", "1 KB/s", "9.5 MB/s".
std::wstring formatSpeed(int32_t bytesPerSecond);
// "MM-DD" in local time of a millisecond Unix time; empty below 1.
std::wstring formatMonthDay(int64_t unixMilliseconds);

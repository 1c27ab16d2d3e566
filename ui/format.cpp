#include "ui/format.h"

#include <windows.h>

#include <cwchar>

namespace {

constexpr int kFormatBuffer = 48;

template <typename... Args>
std::wstring printed(const wchar_t* format, Args... args)
{
    wchar_t buffer[kFormatBuffer];
    std::swprintf(buffer, kFormatBuffer, format, args...);
    return buffer;
}

}  // namespace

std::wstring formatSize(int64_t bytes)
{
    if (bytes <= 0) return L"0 B";
    if (bytes >= (int64_t(1) << 30)) return printed(L"%.2f GB", static_cast<double>(bytes) / (1 << 30));
    if (bytes >= (int64_t(1) << 20)) return printed(L"%.1f MB", static_cast<double>(bytes) / (1 << 20));
    if (bytes <= 1023) return printed(L"%d B", static_cast<int>(bytes));
    return printed(L"%d KB", static_cast<int>(bytes >> 10));
}

std::wstring formatSpeed(int32_t bytesPerSecond)
{
    if (bytesPerSecond <= 0) return std::wstring();
    if (bytesPerSecond >= (1 << 20)) return printed(L"%.1f MB/s", static_cast<double>(bytesPerSecond) / (1 << 20));
    if (bytesPerSecond <= 1023) return printed(L"%d B/s", bytesPerSecond);
    return printed(L"%d KB/s", bytesPerSecond >> 10);
}

std::wstring formatMonthDay(int64_t unixMilliseconds)
{
    if (unixMilliseconds < 1) return std::wstring();
    ULARGE_INTEGER ticks;
    ticks.QuadPart = static_cast<uint64_t>(unixMilliseconds) * 10000ULL + 116444736000000000ULL;
    FILETIME utc{ticks.LowPart, ticks.HighPart};
    FILETIME local;
    SYSTEMTIME time;
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &time)) return std::wstring();
    return printed(L"%02d-%02d", time.wMonth, time.wDay);
}

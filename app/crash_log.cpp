#include "app/crash_log.h"

#include "app/crash_line.h"
#include "core/handles.h"

#include <atomic>
#include <cstdint>

namespace {

constexpr wchar_t kLogName[] = L"kx_crash.log";
constexpr DWORD kTempPathCapacity = MAX_PATH + 1;  // what GetTempPathW may need
constexpr ULONGLONG kTurnWaitMs = 2000;

// "<temp folder>kx_crash.log" in path; false when there is no temporary
// folder or the whole name does not fit.
bool crashLogPath(wchar_t* path, size_t capacity)
{
    // The wide form: a profile folder with characters outside the ANSI code
    // page has no usable ANSI name.
    DWORD length = GetTempPathW(kTempPathCapacity, path);
    if (length == 0 || length >= kTempPathCapacity) return false;
    const size_t nameLength = sizeof kLogName / sizeof kLogName[0];  // with its NUL
    if (length + nameLength > capacity) return false;
    for (size_t i = 0; i < nameLength; ++i) path[length + i] = kLogName[i];
    return true;
}

// Threads of this process crashing at once take turns at the file: Wine moves
// to the end and writes in two steps, so two appends at once could land on the
// same offset. A turn not given back within about two seconds (its thread died
// mid-write) is taken anyway; a crash filter must never hang. The wait is
// measured by the clock: Sleep(1) lasts a timer tick, 15.6 ms on Windows.
class AppendTurn {
public:
    AppendTurn()
    {
        const ULONGLONG deadline = GetTickCount64() + kTurnWaitMs;
        while (busy().exchange(true) && GetTickCount64() < deadline) Sleep(1);
    }
    ~AppendTurn() { busy().store(false); }

private:
    static std::atomic<bool>& busy()
    {
        static std::atomic<bool> flag{false};
        return flag;
    }
};

uint64_t offsetFrom(uintptr_t base, const void* address)
{
    // Addresses below the executable wrap around, like any unsigned difference.
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(address) - base);
}

}  // namespace

LONG WINAPI crashLogFilter(EXCEPTION_POINTERS* exception)
{
    void* frames[kCrashMaxFrames] = {};
    const USHORT frameCount = RtlCaptureStackBackTrace(0, kCrashMaxFrames, frames, nullptr);
    const uintptr_t base = reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr));

    const EXCEPTION_RECORD* record = exception ? exception->ExceptionRecord : nullptr;
    uint64_t offsets[kCrashMaxFrames] = {};
    for (USHORT i = 0; i < frameCount && i < kCrashMaxFrames; ++i) offsets[i] = offsetFrom(base, frames[i]);

    // Everything lives on this thread's stack: after a crash the heap may be
    // what is broken.
    char line[kCrashLineCapacity];
    const size_t length = formatCrashLine(line, sizeof line, record ? record->ExceptionCode : 0,
                                          offsetFrom(base, record ? record->ExceptionAddress : nullptr), offsets,
                                          frameCount);
    wchar_t path[kTempPathCapacity + 16];
    if (length == 0 || !crashLogPath(path, sizeof path / sizeof path[0])) return EXCEPTION_CONTINUE_SEARCH;

    // Append-only access puts every write at the end of the file, and the
    // whole line goes in one write: two threads crashing at once cannot mix
    // their lines or overwrite each other's.
    AppendTurn turn;
    UniqueFile file(CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return EXCEPTION_CONTINUE_SEARCH;
    DWORD written = 0;
    WriteFile(file.get(), line, static_cast<DWORD>(length), &written, nullptr);
    return EXCEPTION_CONTINUE_SEARCH;
}

// Crashes on purpose with the crash filter in place, so a test can read the
// line it left in %TEMP%\kx_crash.log.
//
//   crash_helper main         access violation on the main thread
//   crash_helper worker       access violation on a second thread
//   crash_helper concurrent   8 threads call the filter 50 times each at once,
//                             without crashing (exit code 0)
//
// After a crash the process ends with kLoggedExit when the filter returned
// EXCEPTION_CONTINUE_SEARCH, kWrongAnswerExit otherwise. Ending it here rather
// than in the platform's default handling keeps Wine from starting its
// debugger and crash dialog.

#include "app/crash_log.h"

#include <cwchar>
#include <thread>
#include <vector>

namespace {

constexpr UINT kLoggedExit = 3;
constexpr UINT kWrongAnswerExit = 4;
constexpr UINT kUsageExit = 2;

LONG WINAPI filterThenEnd(EXCEPTION_POINTERS* exception)
{
    LONG answer = crashLogFilter(exception);
    TerminateProcess(GetCurrentProcess(), answer == EXCEPTION_CONTINUE_SEARCH ? kLoggedExit : kWrongAnswerExit);
    return answer;
}

// Read through a volatile pointer so the compiler cannot see the null and
// replace the store with a trap instruction.
int* volatile g_nowhere = nullptr;

void crash()
{
    *g_nowhere = 1;
}

DWORD WINAPI crashingThread(void*)
{
    crash();
    return 0;
}

int callFilterConcurrently()
{
    EXCEPTION_RECORD record = {};
    record.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
    record.ExceptionAddress = reinterpret_cast<void*>(&crash);
    CONTEXT context = {};
    EXCEPTION_POINTERS pointers = {&record, &context};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&pointers] {
            for (int i = 0; i < 50; ++i) crashLogFilter(&pointers);
        });
    }
    for (auto& thread : threads) thread.join();
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) return kUsageExit;
    SetUnhandledExceptionFilter(filterThenEnd);
    if (std::wcscmp(argv[1], L"main") == 0) {
        crash();
    } else if (std::wcscmp(argv[1], L"worker") == 0) {
        HANDLE thread = CreateThread(nullptr, 0, crashingThread, nullptr, 0, nullptr);
        if (thread) WaitForSingleObject(thread, INFINITE);
    } else if (std::wcscmp(argv[1], L"concurrent") == 0) {
        return callFilterConcurrently();
    }
    return kUsageExit;
}

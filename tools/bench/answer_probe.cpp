// Asks the program's main window for an answer the way Windows decides whether
// a window hangs: WM_NULL through SendMessageTimeoutW. Run it in the program's
// Wine prefix (tools/bench/hostile_memory.py does).
//
// answer_probe.exe [timeout ms, default 10000]
// Prints answered_ms=<n> and exits 0, or prints "no window" / "no answer" and exits 1.

#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    const UINT timeout = argc > 1 ? static_cast<UINT>(std::atoi(argv[1])) : 10000;
    HWND window = FindWindowW(L"KXMainWnd", nullptr);
    if (!window) {
        std::printf("no window\n");
        return 1;
    }
    DWORD_PTR result = 0;
    const ULONGLONG start = GetTickCount64();
    if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, timeout, &result)) {
        std::printf("no answer\n");
        return 1;
    }
    std::printf("answered_ms=%llu\n", GetTickCount64() - start);
    return 0;
}

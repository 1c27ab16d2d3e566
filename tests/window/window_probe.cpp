// Looks at the main window from another process, as the window manager and
// other programs see it. Usage: window_probe.exe OUT_FILE COMMAND [ARGS]:
//   dpi            the system DPI
//   zorder         the class of the window directly below "KXMainWnd"
//   hittest X Y    the main window's answer to WM_NCHITTEST at screen X, Y
//   rect CLASS     the window rectangle of the first window of that class
//   answer MS      whether the main window answers WM_NULL within MS ms, the
//                  way Windows decides a window hangs: answered_ms=<n>
// Writes one line to OUT_FILE (Wine's console output is not reliable through
// pipes); exits 1 when the window is not there.

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

bool answer(const wchar_t* path, const std::string& line)
{
    FILE* out = _wfopen(path, L"w");
    if (!out) return false;
    std::fputs((line + "\n").c_str(), out);
    std::fclose(out);
    return true;
}

std::string className(HWND window)
{
    if (!window) return "none";
    wchar_t name[128] = {};
    GetClassNameW(window, name, 128);
    char narrow[128] = {};
    WideCharToMultiByte(CP_UTF8, 0, name, -1, narrow, sizeof narrow, nullptr, nullptr);
    return narrow;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    // Pixels, as the program under test (per-monitor aware) sees them.
    SetProcessDPIAware();
    if (argc < 3) return 2;
    const std::wstring command = argv[2];
    HWND main = FindWindowW(L"KXMainWnd", nullptr);
    if (command == L"dpi") {
        HDC screen = GetDC(nullptr);
        const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
        ReleaseDC(nullptr, screen);
        return answer(argv[1], std::to_string(dpi)) ? 0 : 1;
    }
    if (command == L"zorder") {
        if (!main) return 1;
        return answer(argv[1], className(GetWindow(main, GW_HWNDNEXT))) ? 0 : 1;
    }
    if (command == L"hittest" && argc >= 5) {
        if (!main) return 1;
        const LPARAM point = MAKELPARAM(_wtoi(argv[3]), _wtoi(argv[4]));
        return answer(argv[1], std::to_string(SendMessageW(main, WM_NCHITTEST, 0, point))) ? 0 : 1;
    }
    if (command == L"rect" && argc >= 4) {
        HWND window = FindWindowW(argv[3], nullptr);
        RECT r{};
        if (!window || !GetWindowRect(window, &r)) return 1;
        char line[96];
        std::snprintf(line, sizeof line, "%ld %ld %ld %ld", r.left, r.top, r.right - r.left, r.bottom - r.top);
        return answer(argv[1], line) ? 0 : 1;
    }
    if (command == L"answer" && argc >= 4) {
        if (!main) return 1;
        DWORD_PTR result = 0;
        const ULONGLONG start = GetTickCount64();
        if (!SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(_wtoi(argv[3])), &result))
            return 1;
        return answer(argv[1], "answered_ms=" + std::to_string(GetTickCount64() - start)) ? 0 : 1;
    }
    return 2;
}

#include "app/single_instance.h"

namespace {

constexpr DWORD kWindowPollMs = 50;

// A visible top-level window of the class, or null.
HWND visibleWindowOf(const wchar_t* windowClass)
{
    HWND window = FindWindowW(windowClass, nullptr);
    return window && IsWindowVisible(window) ? window : nullptr;
}

void bringToFront(HWND window)
{
    // Asynchronous: a first instance that hangs must not hang this one too.
    if (IsIconic(window)) ShowWindowAsync(window, SW_RESTORE);
    // A process started by the user may take the foreground; the window
    // then comes above the others.
    SetForegroundWindow(window);
}

// Makes the named mutex; true when no other instance has it (claim keeps
// the handle), false with no handle kept when another one does.
bool tryClaim(const std::wstring& mutexName, InstanceClaim& claim)
{
    HANDLE mutex = CreateMutexW(nullptr, FALSE, mutexName.c_str());
    const DWORD error = GetLastError();
    claim.mutex.reset(mutex);
    // An instance running elevated has the name too, but this one may not open it.
    const bool taken = mutex ? error == ERROR_ALREADY_EXISTS : error == ERROR_ACCESS_DENIED;
    if (taken) claim.mutex.reset();
    return !taken;
}

}  // namespace

std::wstring instanceMutexName()
{
    wchar_t user[256] = {};
    DWORD length = 256;
    if (!GetUserNameW(user, &length)) user[0] = L'\0';
    return std::wstring(L"Local\\Lorimund.Pakvane.") + user;
}

InstanceClaim claimSingleInstance(const std::wstring& mutexName, const wchar_t* windowClass, DWORD waitMs)
{
    InstanceClaim claim;
    if (tryClaim(mutexName, claim)) return claim;

    // Another instance holds the name. The handle is let go so that the name
    // dies with that instance; when it does (say it was closing and had no
    // window any more), this one starts after all.
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    for (;;) {
        if (HWND window = visibleWindowOf(windowClass)) {
            bringToFront(window);
            claim.role = InstanceRole::HandedOver;
            return claim;
        }
        if (tryClaim(mutexName, claim)) return claim;
        if (GetTickCount64() >= deadline) break;
        Sleep(kWindowPollMs);
    }
    claim.role = InstanceRole::FirstHasNoWindow;
    return claim;
}

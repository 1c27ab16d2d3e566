#pragma once
// A real message-only window for tests of workers that post to a window, and a
// bounded wait for what they post.

#include <windows.h>

#include <cstdint>

class MessageWindow {
public:
    MessageWindow()
        : hwnd_(CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr))
    {
    }
    ~MessageWindow()
    {
        if (hwnd_) DestroyWindow(hwnd_);
    }
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    HWND get() const { return hwnd_; }

    // Takes the next message posted to this window with an id in [first, last],
    // waiting at most timeoutMs. False when none came.
    bool next(UINT first, UINT last, MSG& out, DWORD timeoutMs) const
    {
        const ULONGLONG deadline = GetTickCount64() + timeoutMs;
        for (;;) {
            if (PeekMessageW(&out, hwnd_, first, last, PM_REMOVE)) return true;
            const ULONGLONG now = GetTickCount64();
            if (now >= deadline) return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_POSTMESSAGE);
        }
    }

    // The wParam of the next `message` posted to this window, or -1 when none
    // came within timeoutMs.
    int nextWParam(UINT message, DWORD timeoutMs) const
    {
        MSG out;
        return next(message, message, out, timeoutMs) ? static_cast<int>(out.wParam) : -1;
    }

    // True when a message in [first, last] is already waiting; it is left queued.
    bool pending(UINT first, UINT last) const
    {
        MSG msg;
        return PeekMessageW(&msg, hwnd_, first, last, PM_NOREMOVE) != 0;
    }

private:
    HWND hwnd_;
};

// The one-instance rule inside one process: a second claim of the name finds
// the first one's window (here a window of a class of the test's own).

#include "app/single_instance.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

const wchar_t kTestClass[] = L"PakvaneSingleInstanceTest";

std::wstring testMutexName()
{
    return L"Local\\PakvaneSingleInstanceTest." + std::to_wstring(GetCurrentProcessId());
}

class TestWindow {
public:
    TestWindow()
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kTestClass;
        RegisterClassW(&windowClass);
        hwnd_ = CreateWindowExW(0, kTestClass, L"test", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    }
    ~TestWindow() { DestroyWindow(hwnd_); }
    HWND get() const { return hwnd_; }

private:
    HWND hwnd_;
};

// Pumps this thread's messages until the window is no longer minimised, at most 10 s.
bool restoredInTime(HWND window)
{
    const ULONGLONG deadline = GetTickCount64() + 10000;
    while (IsIconic(window) && GetTickCount64() < deadline) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        Sleep(20);
    }
    return !IsIconic(window);
}

TEST(SingleInstance, ASecondClaimRestoresTheFirstWindowAndTheNameDiesWithTheFirst)
{
    const std::wstring name = testMutexName();
    InstanceClaim first = claimSingleInstance(name, kTestClass, 0);
    ASSERT_EQ(first.role, InstanceRole::First);
    ASSERT_TRUE(first.mutex.valid());

    TestWindow window;
    ASSERT_NE(window.get(), nullptr);
    ShowWindow(window.get(), SW_SHOWMINNOACTIVE);
    ASSERT_TRUE(IsIconic(window.get()));

    const InstanceClaim second = claimSingleInstance(name, kTestClass, 5000);
    EXPECT_EQ(second.role, InstanceRole::HandedOver);
    EXPECT_FALSE(second.mutex.valid());
    EXPECT_TRUE(restoredInTime(window.get()));

    first.mutex.reset();
    EXPECT_EQ(claimSingleInstance(name, kTestClass, 0).role, InstanceRole::First);
}

TEST(SingleInstance, AFirstInstanceWithoutAVisibleWindowIsWaitedForThenLeft)
{
    const std::wstring name = testMutexName() + L".nowindow";
    const InstanceClaim first = claimSingleInstance(name, kTestClass, 0);
    ASSERT_EQ(first.role, InstanceRole::First);
    TestWindow hidden;  // created, never shown: still starting
    EXPECT_EQ(claimSingleInstance(name, kTestClass, 300).role, InstanceRole::FirstHasNoWindow);
}

}  // namespace

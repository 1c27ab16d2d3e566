// A second start finds the first one by its mutex: it gives up while the
// first one holds the name without a window, and starts after all when the
// first one ends meanwhile (say it was closing).

#include "app/single_instance.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

TEST(SingleInstance, ASecondStartGoesOnAsTheFirstWhenTheRunningOneEndsWithoutAWindow)
{
    const std::wstring name = L"Local\\PakvaneTest.SingleInstance." + std::to_wstring(GetCurrentProcessId());
    const wchar_t* noWindow = L"PakvaneTestNoSuchWindowClass";
    InstanceClaim first = claimSingleInstance(name, noWindow, 0);
    ASSERT_EQ(first.role, InstanceRole::First);
    ASSERT_TRUE(first.mutex);

    const InstanceClaim refused = claimSingleInstance(name, noWindow, 200);
    EXPECT_EQ(refused.role, InstanceRole::FirstHasNoWindow);
    EXPECT_FALSE(refused.mutex);

    std::thread closing([&] {
        Sleep(300);
        first.mutex.reset();
    });
    const InstanceClaim second = claimSingleInstance(name, noWindow, 60000);
    closing.join();
    EXPECT_EQ(second.role, InstanceRole::First);
    EXPECT_TRUE(second.mutex);
}

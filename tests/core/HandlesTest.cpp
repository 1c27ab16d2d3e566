// The handle owners: a failed CreateFileW's INVALID_HANDLE_VALUE is no handle,
// however it is handed over.

#include <gtest/gtest.h>

#include "core/handles.h"

TEST(UniqueFile, InvalidHandleValueIsEmptyOnEveryWayIn)
{
    UniqueFile constructed(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(constructed.valid());

    UniqueFile reset;
    reset.reset(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(reset.valid());
    EXPECT_EQ(reset.release(), nullptr);

    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    UniqueFile owner(event);
    EXPECT_TRUE(owner.valid());
    owner.reset(INVALID_HANDLE_VALUE);  // closes the event, keeps nothing
    EXPECT_FALSE(owner.valid());
}

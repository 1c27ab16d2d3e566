#include <gtest/gtest.h>

#include "ui/install_run_watch.h"

namespace {

TEST(InstallRunWatch, RunThatLeavesTheInstallingStateEnds)
{
    InstallRunWatch watch;
    watch.started(7);
    EXPECT_FALSE(watch.ended({7}));
    EXPECT_FALSE(watch.ended({7, 9}));
    EXPECT_TRUE(watch.ended({9}));
    EXPECT_FALSE(watch.ended({9}));
    EXPECT_TRUE(watch.ended({}));
    EXPECT_FALSE(watch.ended({}));
}

// The installer may be done before the UI looks at the tasks at all.
TEST(InstallRunWatch, RunEndedBeforeTheFirstLookStillCounts)
{
    InstallRunWatch watch;
    watch.started(3);
    EXPECT_TRUE(watch.ended({}));
    EXPECT_FALSE(watch.ended({}));
}

TEST(InstallRunWatch, NothingStartedNothingEnds)
{
    InstallRunWatch watch;
    EXPECT_FALSE(watch.ended({}));
    watch.started(4);
    watch.started(5);
    EXPECT_TRUE(watch.ended({5}));
    EXPECT_TRUE(watch.ended({}));
}

}  // namespace

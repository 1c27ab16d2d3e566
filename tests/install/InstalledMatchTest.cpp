#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/installed_match.h"

namespace {

const std::vector<CatalogAppName> kApps = {
    {1, L"Foo Editor"},
    {2, L"Bar Player"},
    {3, L"Baz"},
    {4, L"   "},  // normalises to nothing: never installed
};

TEST(MatchInstalledApps, OnlyMatchingAppsAreListedWithTheirVersion)
{
    const std::vector<std::wstring> names = {L"foo editor 2.1 (x64)", L"Something Else", L"", L"BAZ"};
    const std::vector<std::wstring> versions = {L"2.1.0", L"9.9", L"1.0", L""};

    const InstalledStates states = matchInstalledApps(kApps, names, versions);
    ASSERT_EQ(states.size(), 2u);
    ASSERT_EQ(states.count(1), 1u);
    EXPECT_TRUE(states.at(1).installed);
    EXPECT_EQ(states.at(1).installedVersion, L"2.1.0");
    ASSERT_EQ(states.count(3), 1u);
    EXPECT_TRUE(states.at(3).installed);
    EXPECT_EQ(states.at(3).installedVersion, L"");
    EXPECT_EQ(states.count(2), 0u);
    EXPECT_EQ(states.count(4), 0u);
}

// Per-user and per-machine copies: the newest counts, whatever the reading order.
TEST(MatchInstalledApps, NewestOfSeveralMatchingEntriesWins)
{
    const std::vector<std::vector<std::wstring>> orders = {
        {L"1.9", L"1.10", L"", L"1.2"},
        {L"", L"1.2", L"1.10", L"1.9"},
        {L"1.10", L"", L"1.9", L"1.2"},
    };
    const std::vector<std::wstring> names(4, L"Bar Player");
    for (const auto& versions : orders) {
        const InstalledStates states = matchInstalledApps(kApps, names, versions);
        ASSERT_EQ(states.count(2), 1u);
        EXPECT_EQ(states.at(2).installedVersion, L"1.10");
    }
}

TEST(MatchInstalledApps, AnyVersionBeatsNoneAndUnreadableOnes)
{
    const std::vector<std::wstring> names = {L"Baz", L"Baz", L"Baz"};
    const InstalledStates states = matchInstalledApps(kApps, names, {L"", L"beta", L"0.5"});
    ASSERT_EQ(states.count(3), 1u);
    EXPECT_EQ(states.at(3).installedVersion, L"0.5");
}

TEST(MatchInstalledApps, MissingVersionListCountsAsEmpty)
{
    const InstalledStates states = matchInstalledApps(kApps, {L"Foo Editor"}, {});
    ASSERT_EQ(states.count(1), 1u);
    EXPECT_TRUE(states.at(1).installed);
    EXPECT_TRUE(states.at(1).installedVersion.empty());
}

TEST(MatchInstalledApps, NothingInstalledGivesNoEntries)
{
    EXPECT_TRUE(matchInstalledApps(kApps, {}, {}).empty());
    EXPECT_TRUE(matchInstalledApps({}, {L"Foo Editor"}, {L"1.0"}).empty());
}

}  // namespace

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/installed_index.h"
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

// Equal versions: the entry read first gives the text.
TEST(MatchInstalledApps, FirstOfEqualVersionsInReadingOrderWins)
{
    const std::vector<std::wstring> names = {L"Baz 1", L"baz", L"BAZ"};
    const InstalledStates states = matchInstalledApps(kApps, names, {L"2.0", L"2", L"2.0.0"});
    ASSERT_EQ(states.count(3), 1u);
    EXPECT_EQ(states.at(3).installedVersion, L"2.0");
}

// The sorted search finds exactly what trying every DisplayName would.
TEST(MatchInstalledApps, FindsWhatTheNameRuleFindsAgainstEveryEntry)
{
    const std::vector<std::wstring> appNames = {
        L"Foo", L"foo editor", L"Foo Editor Pro", L"FOO  EDITOR", L"Fo", L"B", L"Bar", L"\uFF26oo",
        L"Zed", L"Foo Editor Professional", L"", L"\u4E2D\u6587", L"a\u3000b",
    };
    const std::vector<std::wstring> displayNames = {
        L"Foo Editor", L"foo", L"Foo Editor 2.1 (x64)", L"Foo Editor Professional Edition 2024", L"fo",
        L"Bar", L"Barbarian", L"B", L"\uFF26oo", L"foo", L"Zed 1234567890123456", L"Zed 12345678901234567",
        L"", L"  ", L"\u4E2D\u6587 \u7248", L"AB", L"Foo Editor Pro", L"Fooeditor",
    };
    // Entry i has version 1.i: the newest match is the last one in reading order.
    std::vector<std::wstring> versions;
    for (size_t i = 0; i < displayNames.size(); ++i) versions.push_back(L"1." + std::to_wstring(i));
    std::vector<CatalogAppName> apps;
    for (size_t i = 0; i < appNames.size(); ++i) apps.push_back({static_cast<int32_t>(i), appNames[i]});

    const InstalledStates states = matchInstalledApps(apps, displayNames, versions);
    for (size_t a = 0; a < appNames.size(); ++a) {
        std::wstring newest;
        for (size_t d = 0; d < displayNames.size(); ++d) {
            if (matchesInstalledName(appNames[a], displayNames[d])) newest = versions[d];
        }
        const auto it = states.find(static_cast<int32_t>(a));
        EXPECT_EQ(it != states.end(), !newest.empty()) << "app " << a;
        if (it != states.end()) {
            EXPECT_EQ(it->second.installedVersion, newest) << "app " << a;
        }
    }
}

}  // namespace

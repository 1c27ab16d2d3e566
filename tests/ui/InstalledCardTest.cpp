#include <gtest/gtest.h>

#include <string>

#include "ui/installed_card.h"

namespace {

struct CardCase {
    bool hasTask;
    bool hasPackage;
    bool installed;
    const wchar_t* installedVersion;
    const wchar_t* catalogVersion;
    InstalledCard expected;
};

const CardCase kCardCases[] = {
    // Not installed: the package rows decide.
    {false, true, false, L"", L"1.0", InstalledCard::None},
    {false, false, false, L"1.0", L"2.0", InstalledCard::None},
    // A task always decides, installed or not, newer or not.
    {true, true, true, L"1.0", L"2.0", InstalledCard::None},
    {true, true, true, L"2.0", L"1.0", InstalledCard::None},
    {true, false, true, L"", L"", InstalledCard::None},
    // Installed, catalog not newer.
    {false, true, true, L"1.0", L"1.0", InstalledCard::Installed},
    {false, true, true, L"2.0.1", L"2", InstalledCard::Installed},
    {false, true, true, L"1.10", L"1.9", InstalledCard::Installed},
    // Installed, a version missing or unreadable on either side.
    {false, true, true, L"", L"3.0", InstalledCard::Installed},
    {false, true, true, L"1.0", L"", InstalledCard::Installed},
    {false, true, true, L"beta", L"3.0", InstalledCard::Installed},
    // Installed, catalog newer.
    {false, true, true, L"1.9", L"1.10", InstalledCard::Updatable},
    {false, true, true, L"v1.0.0", L"1.1", InstalledCard::Updatable},
    {false, true, true, L"9", L"10", InstalledCard::Updatable},
    // Newer, but the server has nothing to download.
    {false, false, true, L"1.0", L"2.0", InstalledCard::Installed},
    {false, false, true, L"2.0", L"1.0", InstalledCard::Installed},
};

TEST(InstalledCardFor, FollowsTaskInstalledAndVersionOrder)
{
    for (const auto& c : kCardCases) {
        EXPECT_EQ(installedCardFor(c.hasTask, c.hasPackage, c.installed, c.installedVersion, c.catalogVersion),
                  c.expected)
            << "task " << c.hasTask << ", package " << c.hasPackage << ", installed " << c.installed
            << ", versions of " << std::wstring(c.installedVersion).size() << " and "
            << std::wstring(c.catalogVersion).size() << " units";
    }
}

}  // namespace

// The installed-apps snapshot on its worker and its hand-over, against the
// real registry of the test prefix.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/app_messages.h"
#include "install/installed_apps.h"
#include "tests/install/uninstall_registry.h"
#include "tests/support/message_window.h"
#include "ui/installed_card.h"

namespace {

constexpr DWORD kWaitMs = 30000;

int waitForReady(const MessageWindow& window) { return window.nextWParam(WM_APP_INSTALLED_READY, kWaitMs); }

struct CatalogApp {
    CatalogAppName name;
    std::wstring version;
};

InstalledCard cardOf(const InstalledApps& apps, const CatalogApp& app)
{
    const InstalledState state = apps.stateFor(app.name.id);
    return installedCardFor(false, true, state.installed, state.installedVersion, app.version);
}

class InstalledAppsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(window.get()); }

    std::vector<CatalogAppName> names() const
    {
        return {alpha.name, beta.name, gamma.name};
    }
    // One snapshot through the worker, adopted as the UI thread would.
    void snapshot(InstalledApps& apps)
    {
        ASSERT_TRUE(startInstalledSnapshot(apps, window.get(), names()));
        ASSERT_EQ(waitForReady(window), 1);
        EXPECT_TRUE(apps.adoptPending());
    }

    ScratchUninstallKeys keys;
    MessageWindow window;
    const std::wstring token = uniqueToken();
    const CatalogApp alpha{{uniqueAppId(), L"PakvaneTest Alpha " + token}, L"1.0"};
    const CatalogApp beta{{uniqueAppId(), L"PakvaneTest Beta " + token}, L"2.1"};
    const CatalogApp gamma{{uniqueAppId(), L"PakvaneTest Gamma " + token}, L"1.0"};
};

TEST_F(InstalledAppsTest, SnapshotShowsInstalledUpdatableAndUnknownApps)
{
    ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::User, L"PakvaneTest-Alpha-" + token, alpha.name.name));
    ASSERT_TRUE(keys.setDisplayVersion(UninstallRoot::User, L"PakvaneTest-Alpha-" + token, L"1.0.0"));
    ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::User, L"PakvaneTest-Beta-" + token,
                                           beta.name.name + L" (x64)"));
    ASSERT_TRUE(keys.setDisplayVersion(UninstallRoot::User, L"PakvaneTest-Beta-" + token, L"2.0"));

    InstalledApps apps;
    snapshot(apps);

    EXPECT_TRUE(apps.stateFor(alpha.name.id).installed);
    EXPECT_EQ(apps.stateFor(alpha.name.id).installedVersion, L"1.0.0");
    EXPECT_EQ(apps.stateFor(beta.name.id).installedVersion, L"2.0");
    EXPECT_FALSE(apps.stateFor(gamma.name.id).installed);
    EXPECT_EQ(cardOf(apps, alpha), InstalledCard::Installed);
    EXPECT_EQ(cardOf(apps, beta), InstalledCard::Updatable);
    EXPECT_EQ(cardOf(apps, gamma), InstalledCard::None);
}

TEST_F(InstalledAppsTest, NextSnapshotReplacesTheWholeResult)
{
    InstalledApps apps;
    {
        ScratchUninstallKeys shortLived;
        ASSERT_TRUE(shortLived.createWithDisplayName(UninstallRoot::User, L"PakvaneTest-Alpha-" + token,
                                                     alpha.name.name));
        ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::Machine32, L"PakvaneTest-Beta-" + token,
                                               beta.name.name));
        ASSERT_TRUE(keys.setDisplayVersion(UninstallRoot::Machine32, L"PakvaneTest-Beta-" + token, L"2.0"));
        snapshot(apps);
        EXPECT_EQ(cardOf(apps, alpha), InstalledCard::Installed);
        EXPECT_EQ(cardOf(apps, beta), InstalledCard::Updatable);
    }
    // Alpha uninstalled, Beta updated in place.
    ASSERT_TRUE(keys.setDisplayVersion(UninstallRoot::Machine32, L"PakvaneTest-Beta-" + token, L"2.1.4"));
    snapshot(apps);
    EXPECT_EQ(cardOf(apps, alpha), InstalledCard::None);
    EXPECT_EQ(cardOf(apps, beta), InstalledCard::Installed);
    EXPECT_EQ(apps.stateFor(beta.name.id).installedVersion, L"2.1.4");
}

TEST_F(InstalledAppsTest, NothingPendingKeepsTheAdoptedResult)
{
    ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::User, L"PakvaneTest-Gamma-" + token, gamma.name.name));
    InstalledApps apps;
    EXPECT_FALSE(apps.adoptPending());
    snapshot(apps);
    EXPECT_FALSE(apps.adoptPending());
    EXPECT_TRUE(apps.stateFor(gamma.name.id).installed);
}

// Two overlapping snapshots: the one started later saw the registry later.
TEST_F(InstalledAppsTest, EarlierSnapshotNeverReplacesALaterOne)
{
    InstalledApps apps;
    const uint64_t first = apps.nextSnapshotNumber();
    const uint64_t second = apps.nextSnapshotNumber();
    auto later = std::make_unique<InstalledStates>();
    (*later)[7] = InstalledState{true, L"2.0"};
    auto earlier = std::make_unique<InstalledStates>();
    (*earlier)[7] = InstalledState{true, L"1.0"};

    apps.setPending(second, std::move(later));
    apps.setPending(first, std::move(earlier));
    ASSERT_TRUE(apps.adoptPending());
    EXPECT_EQ(apps.stateFor(7).installedVersion, L"2.0");

    // Also once the later one has been adopted.
    auto late = std::make_unique<InstalledStates>();
    apps.setPending(first, std::move(late));
    EXPECT_FALSE(apps.adoptPending());
    EXPECT_TRUE(apps.stateFor(7).installed);
}

// The result waits for adoption even when its message cannot be delivered.
TEST_F(InstalledAppsTest, ResultWaitsWhenTheWindowIsGone)
{
    ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::User, L"PakvaneTest-Alpha-" + token, alpha.name.name));
    HWND gone = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_TRUE(gone);
    DestroyWindow(gone);

    InstalledApps apps;
    ASSERT_TRUE(startInstalledSnapshot(apps, gone, names()));
    const DWORD start = GetTickCount();
    bool adopted = false;
    while (!(adopted = apps.adoptPending()) && GetTickCount() - start < kWaitMs) Sleep(20);
    ASSERT_TRUE(adopted);
    EXPECT_TRUE(apps.stateFor(alpha.name.id).installed);
}

TEST_F(InstalledAppsTest, ProcessWideResultIsAdoptedThroughTheShortcuts)
{
    ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::User, L"PakvaneTest-Beta-" + token, beta.name.name));
    ASSERT_TRUE(keys.setDisplayVersion(UninstallRoot::User, L"PakvaneTest-Beta-" + token, L"3.0"));

    ASSERT_TRUE(startInstalledSnapshot(window.get(), names()));
    ASSERT_EQ(waitForReady(window), 1);
    ASSERT_TRUE(adoptInstalledPending());
    EXPECT_TRUE(installedStateFor(beta.name.id).installed);
    EXPECT_EQ(installedStateFor(beta.name.id).installedVersion, L"3.0");
    EXPECT_FALSE(installedStateFor(alpha.name.id).installed);
}

}  // namespace

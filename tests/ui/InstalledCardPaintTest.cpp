// Cards of apps the Uninstall keys list: entries written to the test prefix's
// HKCU key, a snapshot taken and adopted as the window does, and the buttons
// of an installed, an updatable and an unknown app read from a painted frame.

#include <gtest/gtest.h>

#include "core/app_messages.h"
#include "install/installed_apps.h"
#include "tests/install/uninstall_registry.h"
#include "tests/support/message_window.h"
#include "tests/ui/frame_harness.h"
#include "ui/app_actions.h"

namespace {

constexpr Rgb kWhite = 0xFFFFFF;

// A snapshot of the registry now, matched against the catalog and adopted.
bool adoptSnapshotOf(const Catalog& catalog)
{
    MessageWindow window;
    if (!startInstalledSnapshot(window.get(), catalogAppNames(catalog.apps))) return false;
    MSG msg;
    if (!window.next(WM_APP_INSTALLED_READY, WM_APP_INSTALLED_READY, msg, 30000)) return false;
    return msg.wParam == 1 && adoptInstalledPending();
}

// Left of the centred label, halfway down: only the button's fill.
Rgb buttonFill(const FrameHarness& f, int card)
{
    Rect button = cardButtonRect(cardRect(gridLayout(kFrameWidth, kFrameHeight, true, 4, 0), card));
    return f.pixel(button.left + 6, (button.top + button.bottom) / 2);
}

// Pixels that differ between the buttons of two cards: their labels.
int labelDifference(const FrameHarness& f, int a, int b)
{
    GridLayout layout = gridLayout(kFrameWidth, kFrameHeight, true, 4, 0);
    Rect first = cardButtonRect(cardRect(layout, a));
    Rect second = cardButtonRect(cardRect(layout, b));
    int differ = 0;
    for (int y = 0; y < first.height(); ++y)
        for (int x = 0; x < first.width(); ++x)
            differ += f.pixel(first.left + x, first.top + y) != f.pixel(second.left + x, second.top + y);
    return differ;
}

TEST(InstalledCardPaint, InstalledUpdatableAndUnknownAppsWithoutTasks)
{
    const std::wstring token = uniqueToken();
    FrameHarness f;
    f.addCategory(L"mine", L"本机");
    f.view.currentCategoryId = L"mine";
    auto installed = f.addApp(uniqueAppId(), L"Quill Notes " + token, L"mine");
    auto updatable = f.addApp(uniqueAppId(), L"Tern Player " + token, L"mine");
    auto unknown = f.addApp(uniqueAppId(), L"Wren Mail " + token, L"mine");
    auto busy = f.addApp(uniqueAppId(), L"Kite Sync " + token, L"mine");
    installed->version = L"2.1";
    updatable->version = L"1.10";
    busy->version = L"9.0";
    f.addTask(busy->id, TaskState::Downloading, 0, 100);
    {
        ScratchUninstallKeys keys;
        const struct {
            const std::shared_ptr<AppInfo>& app;
            const wchar_t* version;
        } entries[] = {{installed, L"2.1.0"}, {updatable, L"1.9"}, {busy, L"1.0"}};
        for (const auto& entry : entries) {
            const std::wstring key = L"PakvaneCard-" + token + L"-" + std::to_wstring(entry.app->id);
            ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::User, key, entry.app->name));
            ASSERT_TRUE(keys.setDisplayVersion(UninstallRoot::User, key, entry.version));
        }
        ASSERT_TRUE(adoptSnapshotOf(f.catalog));
        f.paint("installed_cards");
        EXPECT_TRUE(closeTo(buttonFill(f, 0), over(0x2600B42A, kWhite)));
        EXPECT_TRUE(closeTo(buttonFill(f, 1), 0x5B4DFF));
        EXPECT_TRUE(closeTo(buttonFill(f, 2), 0x5B4DFF));
        // The task wins over the installed entry: downloading at 0 %.
        EXPECT_TRUE(closeTo(buttonFill(f, 3), 0xF2F3F5));
        // "可更新" and "安 装" share the accent; their labels differ.
        EXPECT_GT(labelDifference(f, 1, 2), 20);
        EXPECT_EQ(cardButtonLabel(*installed, nullptr), L"已安装");
        EXPECT_EQ(cardButtonLabel(*updatable, nullptr), L"可更新");
        EXPECT_EQ(cardButtonLabel(*unknown, nullptr), L"安 装");

        f.hover(HitKind::CardButton, updatable->id);
        f.paint("installed_cards_hover");
        EXPECT_TRUE(closeTo(buttonFill(f, 1), 0x4B3FDB));
        EXPECT_TRUE(closeTo(buttonFill(f, 0), over(0x2600B42A, kWhite)));
    }
    // The entries are gone: the next snapshot shows the plain install button again.
    ASSERT_TRUE(adoptSnapshotOf(f.catalog));
    f.view.hovering = false;
    f.paint();
    EXPECT_TRUE(closeTo(buttonFill(f, 0), 0x5B4DFF));
    EXPECT_EQ(cardButtonLabel(*installed, nullptr), L"安 装");
}

}  // namespace

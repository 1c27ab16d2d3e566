// Painted frames drive the icon loader: a 2,000-app category scrolled through
// card row by card row never has more than 8 icon requests at the server nor
// more than the limit of decoded icons, and the screen it stops at shows every
// icon.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/app_messages.h"
#include "core/config.h"
#include "core/json.h"
#include "core/text.h"
#include "net/icon_loader.h"
#include "tests/support/message_window.h"
#include "tests/support/test_server.h"
#include "tests/ui/frame_harness.h"

namespace {

constexpr int kAppCount = 2000;
constexpr int kRowPitch = 248;
// Rows scrolled one by one, each screen waited for, before the fast part:
// more icons arrive than are kept.
constexpr int kSlowRows = 80;

class ScrollingFrames {
public:
    ScrollingFrames()
    {
        f_.addCategory(L"all", L"全部");
        f_.view.currentCategoryId = L"all";
        f_.serverUrl = testServerUrl();
        f_.iconWindow = window_.get();
        for (int i = 0; i < kAppCount; ++i) {
            auto app = f_.addApp(i + 1, L"应用" + std::to_wstring(i), L"all");
            // One file on the server, a distinct address per app.
            app->icon = L"/files/scale.png?app=" + std::to_wstring(i);
        }
    }

    // One frame at scroll; the icons alive are counted right after it, when
    // the loader has just trimmed them.
    void paint(int scroll)
    {
        f_.view.listScroll = scroll;
        f_.paint();
        size_t live = 0;
        for (const auto& app : f_.catalog.apps) live += app->iconState.load() == 2;
        mostLive_ = std::max(mostLive_, live);
    }

    void pump(DWORD waitMs)
    {
        MSG msg;
        if (!window_.next(WM_APP_ICON_READY, WM_APP_ICON_READY, msg, waitMs)) return;
        do ++arrived_;
        while (PeekMessageW(&msg, window_.get(), WM_APP_ICON_READY, WM_APP_ICON_READY, PM_REMOVE));
    }

    // The apps whose buttons the last frame drew: the cards on screen.
    std::vector<std::shared_ptr<AppInfo>> onScreen() const
    {
        std::vector<std::shared_ptr<AppInfo>> apps;
        for (const auto& zone : f_.zones(HitKind::CardButton)) apps.push_back(findApp(f_.catalog, zone.id));
        return apps;
    }

    // Paints the screen at scroll until all its icons are ready; false at the deadline.
    bool settleOn(int scroll)
    {
        const ULONGLONG deadline = GetTickCount64() + 60000;
        while (GetTickCount64() < deadline) {
            paint(scroll);
            auto apps = onScreen();
            if (std::all_of(apps.begin(), apps.end(), [](const auto& a) { return a->iconState.load() == 2; }))
                return true;
            pump(100);
        }
        return false;
    }

    FrameHarness& frame() { return f_; }
    size_t mostLive() const { return mostLive_; }
    size_t arrived() const { return arrived_; }

private:
    FrameHarness f_;
    MessageWindow window_;
    size_t mostLive_ = 0;
    size_t arrived_ = 0;
};

std::string readIcon(const char* name)
{
    std::string bytes;
    EXPECT_TRUE(readWholeFile(testSourceDir() + L"\\tests\\fixtures\\icons\\" + utf8ToWide(name), bytes));
    return bytes;
}

int maxInFlightAtServer()
{
    std::string reply;
    if (!serverGet("/_control/log", &reply)) return -1;
    std::shared_ptr<json::Value> root = json::parse(reply);
    const json::Value* most = root ? root->get("maxInFlight") : nullptr;
    return most ? most->asInt(-1) : -1;
}

TEST(IconScalePaint, ScrollingTwoThousandCardsKeepsTheBoundsAndShowsTheLastScreen)
{
    resetServer();
    putServerFile("scale.png", readIcon("red16.png"));
    // Slow answers keep fetches running while the frames move on. The loader
    // trims to the limit less its slots as a frame begins, so a frame shorter
    // than one answer ends with at most the limit.
    addServerRule("{\"path\":\"/files/scale.png\",\"then\":{\"delayMs\":150}}");

    ScrollingFrames frames;
    for (int row = 0; row < kSlowRows; ++row) ASSERT_TRUE(frames.settleOn(row * kRowPitch)) << "row " << row;
    // Then a row per frame, faster than icons arrive, to the end (the scroll is clamped there).
    for (int scroll = kSlowRows * kRowPitch;; scroll += kRowPitch) {
        frames.paint(scroll);
        if (frames.frame().view.listScroll < scroll) break;
        frames.pump(1);
    }
    const int last = frames.frame().view.listScroll;
    ASSERT_TRUE(frames.settleOn(last)) << "the last screen's icons did not all arrive";

    EXPECT_GT(frames.arrived(), kMaxIconBitmaps) << "the limit of decoded icons was never reached";
    EXPECT_LE(frames.mostLive(), kMaxIconBitmaps);
    const int most = maxInFlightAtServer();
    EXPECT_GE(most, 1);
    EXPECT_LE(most, static_cast<int>(kMaxIconFetches));

    // Every icon of the last screen is drawn: the decoded red, not a placeholder.
    frames.frame().paint("icon_scale_last");
    GridLayout layout = gridLayout(kFrameWidth, kFrameHeight, true, kAppCount, last);
    int probed = 0;
    for (int k = 0; k < kAppCount; ++k) {
        Rect icon = cardIconRect(cardRect(layout, k));
        const int x = (icon.left + icon.right) / 2;
        const int y = (icon.top + icon.bottom) / 2;
        if (!cardVisible(layout, k) || y < layout.top || y >= kFrameHeight) continue;
        EXPECT_TRUE(closeTo(frames.frame().pixel(x, y), 0xFF0000)) << "card " << k;
        ++probed;
    }
    EXPECT_GE(probed, 8);
}

}  // namespace

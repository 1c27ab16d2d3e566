// The icon loader under a long catalog painted frame by frame, as the window
// does while the user scrolls: the server never sees more than 8 icon requests
// at once, no more than the limit of decoded icons is ever alive, and every
// icon on the screen the user stops at arrives.
//
// Wine's GetGuiResources is a stub, so live bitmaps are counted by asking
// GetObjectType about every handle the records ever held.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

#include "core/app_messages.h"
#include "core/config.h"
#include "core/json.h"
#include "core/text.h"
#include "net/icon_loader.h"
#include "net/image_decode.h"
#include "tests/support/message_window.h"
#include "tests/support/test_server.h"

namespace {

constexpr size_t kAppCount = 2000;
constexpr size_t kVisible = 30;
// Apps scrolled through screen by screen, each waited for, before the fast part.
constexpr size_t kSlowApps = 450;
constexpr size_t kFastStep = 10;

class ScrollingWindow {
public:
    explicit ScrollingWindow(const std::wstring& server) : server_(server)
    {
        for (size_t i = 0; i < kAppCount; ++i) {
            auto app = std::make_shared<AppInfo>();
            app->id = static_cast<int32_t>(i + 1);
            // One file on the server, a distinct address per app.
            app->icon = L"/files/scale.png?app=" + std::to_wstring(i);
            apps_.push_back(app);
        }
    }

    // One frame with apps [first, first + kVisible) on screen, as paintAppIcon
    // draws them. The live icons are counted as the frame starts, where the
    // loader keeps them within the limit.
    void paintFrame(size_t first)
    {
        observe();
        beginIconFrame();
        mostLive_ = std::max(mostLive_, observe());
        for (size_t i = first; i < first + kVisible; ++i) {
            noteIconDrawn(*apps_[i]);
            startIconLoad(catalog_, window_.get(), apps_[i], server_);
        }
    }

    // Answers what arrived, waiting at most waitMs for something to arrive.
    void pump(DWORD waitMs)
    {
        MSG msg;
        if (!window_.next(WM_APP_ICON_READY, WM_APP_ICON_READY, msg, waitMs)) return;
        do {
            EXPECT_GE(msg.wParam, 1u);
            EXPECT_LE(msg.wParam, kAppCount);
        } while (PeekMessageW(&msg, window_.get(), WM_APP_ICON_READY, WM_APP_ICON_READY, PM_REMOVE));
    }

    bool screenReady(size_t first) const
    {
        for (size_t i = first; i < first + kVisible; ++i)
            if (apps_[i]->iconState.load() != 2) return false;
        return true;
    }

    // Paints the screen at first until all its icons are ready; false at the deadline.
    bool settleOn(size_t first)
    {
        const ULONGLONG deadline = GetTickCount64() + 60000;
        while (GetTickCount64() < deadline) {
            paintFrame(first);
            if (screenReady(first)) return true;
            pump(100);
        }
        return false;
    }

    // Checks every record and counts those with a decoded icon. A record read
    // here is in state 0 or 2, where no worker writes it.
    size_t observe()
    {
        size_t live = 0;
        for (const auto& app : apps_) {
            const int32_t state = app->iconState.load();
            if (state == 2) {
                ++live;
                EXPECT_EQ(GetObjectType(app->iconBitmap), static_cast<DWORD>(OBJ_BITMAP)) << "app " << app->id;
                bitmaps_.insert(app->iconBitmap);
            } else if (state == 0) {
                EXPECT_EQ(app->iconBitmap, nullptr) << "app " << app->id;
            }
            EXPECT_NE(state, 3) << "app " << app->id;
        }
        return live;
    }

    // Handles the records ever held that are still bitmaps: leaked ones count too.
    size_t liveBitmapsEverSeen() const
    {
        size_t live = 0;
        for (HBITMAP bitmap : bitmaps_)
            if (GetObjectType(bitmap) == OBJ_BITMAP) ++live;
        return live;
    }

    const AppList& apps() const { return apps_; }
    size_t mostLive() const { return mostLive_; }
    size_t bitmapsSeen() const { return bitmaps_.size(); }

private:
    std::wstring server_;
    Catalog catalog_;
    MessageWindow window_;
    AppList apps_;
    std::set<HBITMAP> bitmaps_;
    size_t mostLive_ = 0;
};

struct IconRequests {
    int maxInFlight = -1;
    size_t count = 0;
};

IconRequests iconRequestsSeenByServer()
{
    IconRequests seen;
    std::string reply;
    if (!serverGet("/_control/log", &reply)) return seen;
    std::shared_ptr<json::Value> root = json::parse(reply);
    if (!root || !root->get("maxInFlight") || !root->get("requests")) {
        ADD_FAILURE() << "the server log is not as expected";
        return seen;
    }
    seen.maxInFlight = root->get("maxInFlight")->asInt(-1);
    for (const auto& entry : root->get("requests")->array) {
        const json::Value* path = entry->get("path");
        if (path && path->asString("") == "/files/scale.png") ++seen.count;
    }
    return seen;
}

std::string readFixture(const char* name)
{
    std::string bytes;
    EXPECT_TRUE(readWholeFile(testSourceDir() + L"\\tests\\fixtures\\icons\\" + utf8ToWide(name), bytes)) << name;
    return bytes;
}

TEST(IconLoaderAtScale, ScrollingThroughTwoThousandAppsStaysWithinBounds)
{
    ASSERT_TRUE(ensureGdiplus());
    resetServer();
    putServerFile("scale.png", readFixture("red16.png"));
    // Slow answers keep fetches running while the frames move on.
    addServerRule("{\"path\":\"/files/scale.png\",\"then\":{\"delayMs\":60}}");

    ScrollingWindow window(testServerUrl());
    // Screen by screen: more icons arrive than are kept.
    for (size_t first = 0; first < kSlowApps; first += kVisible)
        ASSERT_TRUE(window.settleOn(first)) << "screen at " << first;
    // Then fast, a few rows per frame, faster than icons arrive.
    const size_t lastScreen = kAppCount - kVisible;
    for (size_t first = kSlowApps; first < lastScreen; first += kFastStep) {
        window.paintFrame(first);
        window.pump(5);
    }
    ASSERT_TRUE(window.settleOn(lastScreen)) << "the last screen's icons did not all arrive";

    // The first screen's icons were let go long ago; drawn again, they load again.
    for (size_t i = 0; i < kVisible; ++i) EXPECT_EQ(window.apps()[i]->iconState.load(), 0) << i;
    ASSERT_TRUE(window.settleOn(0)) << "icons let go did not load again";

    const IconRequests seen = iconRequestsSeenByServer();
    EXPECT_LE(seen.maxInFlight, static_cast<int>(kMaxIconFetches));
    EXPECT_EQ(seen.maxInFlight, static_cast<int>(kMaxIconFetches)) << "the slots were never all busy at once";
    // Cards scrolled past before their turn were never fetched.
    EXPECT_LT(seen.count, kAppCount);
    EXPECT_GE(seen.count, kSlowApps + 2 * kVisible);

    EXPECT_LE(window.mostLive(), kMaxIconBitmaps);
    EXPECT_GT(window.bitmapsSeen(), kMaxIconBitmaps) << "the limit was never reached";
    EXPECT_LE(window.liveBitmapsEverSeen(), kMaxIconBitmaps);
    std::printf("icon requests %zu, bitmaps seen %zu, most live %zu\n", seen.count, window.bitmapsSeen(),
                window.mostLive());
}

}  // namespace

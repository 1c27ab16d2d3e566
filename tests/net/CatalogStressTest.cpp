// Repeated catalog loads while icon workers run and the UI thread walks and
// paints the lists: no torn catalog, no bitmap used after deletion, every
// record and every bitmap released in the end.
//
// Wine's GetGuiResources is a stub that always returns 0, so live bitmaps are
// counted by asking GetObjectType about every handle the records ever held.

#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/app_messages.h"
#include "core/config.h"
#include "core/json.h"
#include "core/text.h"
#include "net/catalog.h"
#include "net/icon_loader.h"
#include "net/image_decode.h"
#include "tests/support/message_window.h"
#include "tests/support/test_server.h"

namespace {

constexpr int kRounds = 12;
constexpr int kAppsPerRound = 40;

// Icon paths by app index, with the state each must end in (0: never requested).
struct IconKind {
    const wchar_t* path;
    int32_t finalState;
};
const IconKind kIconKinds[] = {
    {L"/files/s_red.png", 2},      {L"/files/s_multi.ico", 2}, {L"/files/s_slow.png", 2},
    {L"/files/s_garbage.png", 3},  {L"/icons/s_none.png", 3},  {L"", 0},
};
constexpr int kIconKindCount = sizeof kIconKinds / sizeof kIconKinds[0];

int32_t appIdOf(int round, int index) { return round * 1000 + index; }
std::wstring appNameOf(int32_t id) { return L"应用" + std::to_wstring(id); }
const IconKind& iconKindOf(int32_t id) { return kIconKinds[(id % 1000) % kIconKindCount]; }

std::string roundDocument(int round)
{
    std::string doc = "{\"data\":{\"categories\":[{\"id\":\"r" + std::to_string(round) + "\",\"name\":\"轮\"}],\"apps\":[";
    for (int i = 0; i < kAppsPerRound; ++i) {
        const int32_t id = appIdOf(round, i);
        if (i) doc += ",";
        doc += "{\"id\":" + std::to_string(id) + ",\"name\":\"" + wideToUtf8(appNameOf(id)) + "\",\"icon\":\"" +
               wideToUtf8(iconKindOf(id).path) + "\",\"categoryIds\":[\"r" + std::to_string(round) + "\"]}";
    }
    return doc + "]}}";
}

std::string readFixture(const char* name)
{
    std::string bytes;
    EXPECT_TRUE(readWholeFile(testSourceDir() + L"\\tests\\fixtures\\icons\\" + utf8ToWide(name), bytes)) << name;
    return bytes;
}

void serveStressCatalog()
{
    putServerFile("s_red.png", readFixture("red16.png"));
    putServerFile("s_slow.png", readFixture("red16.png"));
    putServerFile("s_multi.ico", readFixture("multi3.ico"));
    putServerFile("s_garbage.png", "not an image");
    // Slow icons keep workers running across the next hand-over.
    addServerRule("{\"path\":\"/files/s_slow.png\",\"then\":{\"delayMs\":300}}");
    std::string steps;
    for (int round = 1; round <= kRounds; ++round) {
        if (round > 1) steps += ",";
        steps += "{\"status\":200,\"body\":\"" + json::escape(roundDocument(round)) + "\"}";
    }
    addServerRule("{\"path\":\"/api/client/bootstrap\",\"steps\":[" + steps + "]}");
}

// What painting does with a ready icon: select it into a memory DC and read it.
void paintWith(HBITMAP bitmap)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    EXPECT_NE(old, nullptr);
    GetPixel(dc, 1, 1);
    SelectObject(dc, old);
    DeleteDC(dc);
}

class StressObserver {
public:
    // Every record ever adopted, without keeping it alive.
    std::vector<std::weak_ptr<AppInfo>> seen;
    std::set<HBITMAP> bitmaps;

    void noteReady(const AppInfo& app)
    {
        if (app.iconState.load() != 2) return;
        ASSERT_EQ(GetObjectType(app.iconBitmap), static_cast<DWORD>(OBJ_BITMAP)) << "record " << app.id;
        bitmaps.insert(app.iconBitmap);
        paintWith(app.iconBitmap);
    }

    // The reader: one whole catalog, from one round, consistent records.
    void walk(const Catalog& catalog)
    {
        if (catalog.apps.empty()) return;
        ASSERT_EQ(catalog.apps.size(), static_cast<size_t>(kAppsPerRound));
        ASSERT_EQ(catalog.categories.size(), 1u);
        const int round = catalog.apps.front()->id / 1000;
        ASSERT_EQ(catalog.categories[0].id, L"r" + std::to_wstring(round));
        for (int i = 0; i < kAppsPerRound; ++i) {
            const AppInfo& app = *catalog.apps[i];
            ASSERT_EQ(app.id, appIdOf(round, i));
            ASSERT_EQ(app.name, appNameOf(app.id));
            noteReady(app);
        }
    }

    // Looks at records the catalog already dropped but a worker still holds.
    void pollDropped()
    {
        for (const auto& weak : seen)
            if (std::shared_ptr<AppInfo> app = weak.lock()) noteReady(*app);
    }

    bool allReleased() const
    {
        for (const auto& weak : seen)
            if (!weak.expired()) return false;
        return true;
    }
};

bool settled(const AppList& apps)
{
    for (const auto& app : apps) {
        const int32_t state = app->iconState.load();
        if (state == 1) return false;
    }
    return true;
}

TEST(CatalogStress, ReloadsWhileIconWorkersRunAndTheUiReads)
{
    ASSERT_TRUE(ensureGdiplus());
    resetServer();
    serveStressCatalog();
    const DWORD guiObjectsAtStart = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);

    MessageWindow window;
    ASSERT_TRUE(window.get());
    StressObserver observer;
    // Every other round's records are kept alive here so their final states can
    // be checked; the others are dropped while their workers still run.
    AppList kept;
    {
        Catalog catalog;
        ASSERT_TRUE(startCatalogLoad(catalog, window.get(), testServerUrl()));
        int adopted = 0;
        const ULONGLONG deadline = GetTickCount64() + 180000;
        while (adopted < kRounds && GetTickCount64() < deadline) {
            MSG msg;
            if (!PeekMessageW(&msg, window.get(), 0, 0, PM_REMOVE)) {
                observer.walk(catalog);
                observer.pollDropped();
                if (HasFatalFailure()) break;
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_POSTMESSAGE);
                continue;
            }
            if (msg.message == WM_APP_ICON_READY) {
                if (auto app = findApp(catalog, static_cast<int32_t>(msg.wParam))) observer.noteReady(*app);
                continue;
            }
            if (msg.message != WM_APP_CATALOG_READY) continue;
            ASSERT_EQ(msg.wParam, 1u) << wideToUtf8(catalog.lastError);
            ASSERT_TRUE(catalog.adoptPending());
            ++adopted;
            for (const auto& app : catalog.apps) {
                observer.seen.push_back(app);
                if (adopted % 2 == 0) kept.push_back(app);
            }
            // Paint: every card asks for its icon, then the next load starts at once.
            for (const auto& app : catalog.apps) startIconLoad(catalog, window.get(), app, testServerUrl());
            if (adopted < kRounds) {
                ASSERT_TRUE(startCatalogLoad(catalog, window.get(), testServerUrl()));
            }
        }
        ASSERT_EQ(adopted, kRounds);

        // Let the last workers finish, still answering their messages.
        for (int i = 0; i < 6000 && !(settled(catalog.apps) && settled(kept)); ++i) {
            MSG msg;
            while (PeekMessageW(&msg, window.get(), 0, 0, PM_REMOVE)) {
            }
            observer.walk(catalog);
            observer.pollDropped();
            Sleep(10);
        }
        for (const AppList* list : {&catalog.apps, &kept}) {
            for (const auto& app : *list) {
                SCOPED_TRACE(app->id);
                EXPECT_EQ(app->iconState.load(), iconKindOf(app->id).finalState);
                observer.noteReady(*app);
            }
        }
        EXPECT_FALSE(catalog.adoptPending());
    }  // the catalog and its records go here
    kept.clear();

    // Workers of dropped records finish on their own; then every record is gone.
    for (int i = 0; i < 6000 && !observer.allReleased(); ++i) Sleep(10);
    ASSERT_TRUE(observer.allReleased()) << "a record outlived every owner";
    EXPECT_GE(observer.bitmaps.size(), static_cast<size_t>(kRounds / 2 * kAppsPerRound / 2));
    for (HBITMAP bitmap : observer.bitmaps) EXPECT_EQ(GetObjectType(bitmap), 0u) << "leaked bitmap";
    if (guiObjectsAtStart != 0) {
        EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), guiObjectsAtStart);
    }
    resetServer();
}

}  // namespace

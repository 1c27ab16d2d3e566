// The search over the adopted catalog, and the server's search on its worker
// against the development server: the newest query wins, an older or failed
// answer changes nothing.

#include "net/catalog_search.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/app_messages.h"
#include "tests/support/message_window.h"
#include "tests/support/test_server.h"

namespace {

constexpr DWORD kWaitMs = 30000;

int waitForAnswer(const MessageWindow& window) { return window.nextWParam(WM_APP_SEARCH_READY, kWaitMs); }

// Waits until the server has received the search for query (ASCII).
bool serverSawQuery(const std::string& query)
{
    const ULONGLONG deadline = GetTickCount64() + kWaitMs;
    do {
        std::string log;
        if (!serverGet("/_control/log", &log)) return false;
        if (log.find("\"query\":\"q=" + query + "\"") != std::string::npos) return true;
        Sleep(20);
    } while (GetTickCount64() < deadline);
    return false;
}

std::vector<int32_t> idsOf(const AppList& apps)
{
    std::vector<int32_t> ids;
    for (const auto& app : apps) ids.push_back(app->id);
    return ids;
}

class LocalAndServerSearch : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetServer();
        ASSERT_TRUE(window.get());
    }
    void TearDown() override { resetServer(); }

    MessageWindow window;
    Catalog catalog;
    ServerSearch& server = serverSearch();
};

TEST_F(LocalAndServerSearch, LocalResultsComeFromTheAdoptedCatalogWithCategoryNames)
{
    ASSERT_TRUE(bootstrap(catalog, testServerUrl()));
    ASSERT_TRUE(catalog.adoptPending());
    const SearchIndex& index = catalog.searchIndex;
    EXPECT_EQ(idsOf(localSearchResults(catalog.apps, index, L"yszs")), (std::vector<int32_t>{5}));
    EXPECT_EQ(idsOf(localSearchResults(catalog.apps, index, L"办公")), (std::vector<int32_t>{1, 4}));
    EXPECT_TRUE(localSearchResults(catalog.apps, index, L" ").empty());
}

TEST_F(LocalAndServerSearch, AnswerIsAdoptedOnceAndAppendedAfterTheLocalResults)
{
    ASSERT_TRUE(server.start(window.get(), testServerUrl(), L"p"));
    ASSERT_EQ(waitForAnswer(window), 1);
    ASSERT_TRUE(server.adoptPending(catalog));
    EXPECT_FALSE(server.adoptPending(catalog));
    EXPECT_EQ(server.adoptedQuery(), L"p");
    ASSERT_EQ(idsOf(catalog.searchResults), (std::vector<int32_t>{3, 5}));

    auto local = std::make_shared<AppInfo>();
    local->id = 5;
    AppList shown{local};
    appendServerResults(shown, catalog.searchResults);
    EXPECT_EQ(idsOf(shown), (std::vector<int32_t>{5, 3}));
    EXPECT_EQ(shown[0], local);
    EXPECT_EQ(findSearchResult(catalog, 3), shown[1]);
}

TEST_F(LocalAndServerSearch, FailedOrDroppedAnswerChangesNothing)
{
    ASSERT_TRUE(server.start(window.get(), testServerUrl(), L"p"));
    ASSERT_EQ(waitForAnswer(window), 1);
    ASSERT_TRUE(server.adoptPending(catalog));

    addServerRule("{\"path\":\"/api/client/apps\",\"steps\":[{\"status\":500}]}");
    ASSERT_TRUE(server.start(window.get(), testServerUrl(), L"editor"));
    EXPECT_EQ(waitForAnswer(window), 0);
    EXPECT_FALSE(server.adoptPending(catalog));

    ASSERT_TRUE(server.start(window.get(), testServerUrl(), L"editor"));
    server.dropAnswers();
    EXPECT_EQ(waitForAnswer(window), 1);
    EXPECT_FALSE(server.adoptPending(catalog));
    EXPECT_EQ(idsOf(catalog.searchResults), (std::vector<int32_t>{3, 5}));
    EXPECT_EQ(server.adoptedQuery(), L"p");
}

// "editor" finds app 1, "p" apps 3 and 5; the server holds back a query's
// answer for a while so the answers come in the order under test.
TEST_F(LocalAndServerSearch, AnOlderAnswerIsNeverAdopted)
{
    // The older answer comes after the newer one, both before the UI adopts.
    addServerRule("{\"path\":\"/api/client/apps\",\"steps\":[{\"delayMs\":2000}]}");
    ASSERT_TRUE(server.start(window.get(), testServerUrl(), L"editor"));
    ASSERT_TRUE(serverSawQuery("editor"));
    ASSERT_TRUE(server.start(window.get(), testServerUrl(), L"p"));
    ASSERT_EQ(waitForAnswer(window), 1);
    ASSERT_EQ(waitForAnswer(window), 1);
    ASSERT_TRUE(server.adoptPending(catalog));
    EXPECT_EQ(idsOf(catalog.searchResults), (std::vector<int32_t>{3, 5}));

    // The older answer is in, not yet adopted, when the newer query starts.
    resetServer();
    catalog.searchResults.clear();
    addServerRule("{\"path\":\"/api/client/apps\",\"steps\":[{},{\"delayMs\":2000}]}");
    ASSERT_TRUE(server.start(window.get(), testServerUrl(), L"editor"));
    ASSERT_EQ(waitForAnswer(window), 1);
    ASSERT_TRUE(server.start(window.get(), testServerUrl(), L"p"));
    EXPECT_FALSE(server.adoptPending(catalog));
    EXPECT_TRUE(catalog.searchResults.empty());
    ASSERT_EQ(waitForAnswer(window), 1);
    ASSERT_TRUE(server.adoptPending(catalog));
    EXPECT_EQ(server.adoptedQuery(), L"p");
    EXPECT_EQ(idsOf(catalog.searchResults), (std::vector<int32_t>{3, 5}));
}

}  // namespace

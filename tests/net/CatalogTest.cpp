// The catalog client against the development server: bootstrap, search, the
// hand-over to the UI thread, every field rule and the download link.

#include "net/catalog.h"

#include <gtest/gtest.h>

#include "core/app_messages.h"
#include "core/json.h"
#include "core/text.h"
#include "net/http_client.h"
#include "tests/support/message_window.h"
#include "tests/support/test_server.h"

namespace {

// Every bootstrap request is answered with this status and body.
void serveBootstrap(const std::string& body, int status = 200)
{
    addServerRule("{\"path\":\"/api/client/bootstrap\",\"then\":{\"status\":" + std::to_string(status) +
                  ",\"body\":\"" + json::escape(body) + "\"}}");
}

void serveSearch(const std::string& body)
{
    addServerRule("{\"path\":\"/api/client/apps\",\"then\":{\"status\":200,\"body\":\"" + json::escape(body) +
                  "\"}}");
}

// Bootstraps and adopts the result as the UI thread would.
bool loadCatalog(Catalog& catalog)
{
    const bool ok = bootstrap(catalog, testServerUrl());
    catalog.adoptPending();
    return ok;
}

std::shared_ptr<AppInfo> parseApp(const std::string& text)
{
    std::shared_ptr<json::Value> value = json::parse(text);
    EXPECT_TRUE(value) << text;
    return parseAppInfo(value ? *value : json::Value());
}

class CatalogServer : public ::testing::Test {
protected:
    void SetUp() override { resetServer(); }
    void TearDown() override { resetServer(); }
};

using CatalogBootstrap = CatalogServer;
using CatalogSearch = CatalogServer;
using CatalogLoad = CatalogServer;

TEST_F(CatalogBootstrap, LoadsTheServersCatalogInOrder)
{
    Catalog catalog;
    ASSERT_TRUE(loadCatalog(catalog)) << wideToUtf8(catalog.lastError);
    EXPECT_EQ(catalog.lastError, L"");

    ASSERT_EQ(catalog.categories.size(), 3u);
    EXPECT_EQ(catalog.categories[0].id, L"tools");
    EXPECT_EQ(catalog.categories[0].name, L"实用工具");
    EXPECT_EQ(catalog.categories[2].id, L"office");

    ASSERT_EQ(catalog.apps.size(), 5u);
    const AppInfo& editor = *catalog.apps[0];
    EXPECT_EQ(editor.id, 1);
    EXPECT_EQ(editor.name, L"Foo 编辑器");
    EXPECT_EQ(editor.version, L"1.2");
    EXPECT_EQ(editor.categoryIds, (std::vector<std::wstring>{L"tools", L"office"}));
    EXPECT_EQ(editor.description, L"轻巧的文本编辑器 Text Editor");
    EXPECT_EQ(editor.icon, L"/icons/editor.png");
    EXPECT_EQ(editor.packageSize, 4096);
    EXPECT_EQ(editor.md5, "6eebfce2117bde46bc863aa150d286a9");
    EXPECT_TRUE(editor.hasPackage);
    EXPECT_EQ(editor.downloads, 12345);
    EXPECT_EQ(editor.updatedAt, 1700000000000LL);
    EXPECT_EQ(editor.iconBitmap, nullptr);
    EXPECT_EQ(editor.iconState.load(), 0);

    EXPECT_FALSE(catalog.apps[1]->hasPackage);
    EXPECT_EQ(catalog.apps[2]->categoryIds, std::vector<std::wstring>{L"media"});
    EXPECT_EQ(catalog.apps[2]->version, L"3.1");
    EXPECT_EQ(catalog.apps[3]->updatedAt, 0);
    EXPECT_EQ(catalog.apps[4]->id, 5);
}

TEST_F(CatalogBootstrap, NewListsReachReadersOnlyWhenAdopted)
{
    Catalog catalog;
    ASSERT_TRUE(bootstrap(catalog, testServerUrl()));
    EXPECT_TRUE(catalog.apps.empty());
    EXPECT_TRUE(catalog.categories.empty());
    EXPECT_TRUE(catalog.adoptPending());
    EXPECT_EQ(catalog.apps.size(), 5u);
    EXPECT_FALSE(catalog.adoptPending());
    EXPECT_EQ(catalog.apps.size(), 5u);
}

TEST_F(CatalogBootstrap, RecordsHeldElsewhereOutliveTheirCatalog)
{
    Catalog catalog;
    ASSERT_TRUE(loadCatalog(catalog));
    std::shared_ptr<AppInfo> held = findApp(catalog, 3);
    ASSERT_TRUE(held);
    serveBootstrap("{\"data\":{\"apps\":[{\"id\":9}]}}");
    ASSERT_TRUE(loadCatalog(catalog));
    ASSERT_EQ(catalog.apps.size(), 1u);
    EXPECT_EQ(findApp(catalog, 3), nullptr);
    EXPECT_EQ(held->name, L"星光播放器");
}

struct BadDocument {
    const char* name;
    std::string body;
};

TEST_F(CatalogBootstrap, DocumentWithoutDataFailsAndKeepsTheLists)
{
    const BadDocument cases[] = {
        {"no data member", "{\"categories\":[]}"},
        {"not JSON", "<html>busy</html>"},
        {"empty body", ""},
        {"array root", "[{\"data\":{}}]"},
        {"data nested deeper", "{\"result\":{\"data\":{}}}"},
        {"key differs in case", "{\"Data\":{}}"},
        {"truncated", "{\"data\":{\"apps\":[{\"id\":1}"},
    };
    Catalog catalog;
    ASSERT_TRUE(loadCatalog(catalog));
    const std::shared_ptr<AppInfo> first = catalog.apps.front();
    for (const BadDocument& c : cases) {
        SCOPED_TRACE(c.name);
        serveBootstrap(c.body);
        EXPECT_FALSE(bootstrap(catalog, testServerUrl()));
        EXPECT_EQ(catalog.lastError, L"数据格式错误");
        EXPECT_FALSE(catalog.adoptPending());
        EXPECT_EQ(catalog.categories.size(), 3u);
        ASSERT_EQ(catalog.apps.size(), 5u);
        EXPECT_EQ(catalog.apps.front(), first);
    }
}

struct GoodDocument {
    const char* name;
    std::string body;
    size_t categories;
    size_t apps;
};

TEST_F(CatalogBootstrap, DataOfAnyShapeSucceeds)
{
    const GoodDocument cases[] = {
        {"both empty", "{\"data\":{\"categories\":[],\"apps\":[]}}", 0, 0},
        {"data empty object", "{\"data\":{}}", 0, 0},
        {"data an array", "{\"data\":[1,2]}", 0, 0},
        {"data null", "{\"data\":null}", 0, 0},
        {"lists of other types", "{\"data\":{\"categories\":{\"id\":\"a\"},\"apps\":\"x\"}}", 0, 0},
        {"only apps", "{\"code\":0,\"data\":{\"apps\":[{},{}]}}", 0, 2},
        {"non-object elements", "{\"data\":{\"categories\":[1,null,\"x\"],\"apps\":[5,[],true]}}", 3, 3},
    };
    for (const GoodDocument& c : cases) {
        SCOPED_TRACE(c.name);
        Catalog catalog;
        ASSERT_TRUE(loadCatalog(catalog));  // the real catalog first: a success must replace it
        serveBootstrap(c.body);
        EXPECT_TRUE(loadCatalog(catalog));
        EXPECT_EQ(catalog.lastError, L"");
        EXPECT_EQ(catalog.categories.size(), c.categories);
        ASSERT_EQ(catalog.apps.size(), c.apps);
        for (const auto& app : catalog.apps) {
            EXPECT_EQ(app->id, 0);
            EXPECT_EQ(app->name, L"");
        }
        for (const auto& category : catalog.categories) {
            EXPECT_EQ(category.id, L"");
            EXPECT_EQ(category.name, L"");
        }
        resetServer();
    }
}

TEST_F(CatalogBootstrap, CategoryWithNumericIdGetsAnEmptyId)
{
    serveBootstrap("{\"data\":{\"categories\":[{\"id\":3,\"name\":\"工具\"},{\"name\":\"x\",\"id\":\"b\",\"id\":\"c\"}]}}");
    Catalog catalog;
    ASSERT_TRUE(loadCatalog(catalog));
    ASSERT_EQ(catalog.categories.size(), 2u);
    EXPECT_EQ(catalog.categories[0].id, L"");
    EXPECT_EQ(catalog.categories[0].name, L"工具");
    EXPECT_EQ(catalog.categories[1].id, L"b");  // the first member of a repeated key
}

TEST_F(CatalogBootstrap, ErrorStatusGivesTheClientsTextAndKeepsTheLists)
{
    Catalog catalog;
    ASSERT_TRUE(loadCatalog(catalog));
    serveBootstrap("{\"data\":{}}", 500);
    EXPECT_FALSE(loadCatalog(catalog));
    EXPECT_EQ(catalog.lastError, L"HTTP 500");
    EXPECT_EQ(catalog.apps.size(), 5u);
    EXPECT_EQ(catalog.categories.size(), 3u);
}

TEST_F(CatalogBootstrap, UnreachableServerGivesTheClientsText)
{
    // A port that nothing listens on: ask the client what it says about it.
    const std::wstring closed = L"http://127.0.0.1:9";
    HttpResponse response;
    std::wstring clientText;
    ASSERT_NE(HttpClient::request(closed + L"/api/client/bootstrap", {}, nullptr, L"GET", DataSink(), response,
                                  clientText, nullptr),
              HttpResult::Ok);
    ASSERT_FALSE(clientText.empty());

    Catalog catalog;
    catalog.lastError = L"stale";
    EXPECT_FALSE(bootstrap(catalog, closed));
    EXPECT_EQ(catalog.lastError, clientText);
    EXPECT_FALSE(catalog.adoptPending());
    EXPECT_FALSE(catalog.certificateRejected);
}

TEST_F(CatalogBootstrap, UntrustedCertificateIsTellingOnItsOwn)
{
    Catalog catalog;
    EXPECT_FALSE(bootstrap(catalog, testTlsServerUrl()));
    EXPECT_TRUE(catalog.certificateRejected);
    EXPECT_FALSE(catalog.lastError.empty());
    // The next load over plain HTTP forgets it.
    EXPECT_TRUE(bootstrap(catalog, testServerUrl()));
    EXPECT_FALSE(catalog.certificateRejected);
}

TEST_F(CatalogBootstrap, SuccessAfterAFailureClearsTheError)
{
    Catalog catalog;
    serveBootstrap("not json");
    ASSERT_FALSE(loadCatalog(catalog));
    ASSERT_EQ(catalog.lastError, L"数据格式错误");
    resetServer();
    ASSERT_TRUE(loadCatalog(catalog));
    EXPECT_EQ(catalog.lastError, L"");
    EXPECT_EQ(catalog.apps.size(), 5u);
}

TEST(CatalogFetch, EmptyClientTextBecomesNetworkError)
{
    // The HTTP client gives a text for every failure it can have without an
    // abort flag, so this fallback is checked at the function fetchJson uses.
    EXPECT_EQ(fetchErrorText(L""), L"网络错误");
    EXPECT_EQ(fetchErrorText(L"HTTP 404"), L"HTTP 404");
}

TEST_F(CatalogBootstrap, FetchJsonReturnsTheBodyAndIgnoresNothingElse)
{
    serveBootstrap("{\"data\":\"x\"}");
    std::string body;
    std::wstring errorText = L"untouched";
    ASSERT_TRUE(fetchJson(testServerUrl() + L"/api/client/bootstrap", body, errorText));
    EXPECT_EQ(body, "{\"data\":\"x\"}");
    EXPECT_EQ(errorText, L"untouched");
}

TEST_F(CatalogBootstrap, TenThousandAppsParseInOrder)
{
    std::string doc = "{\"code\":0,\"data\":{\"categories\":[{\"id\":\"c\",\"name\":\"分类\"}],\"apps\":[";
    for (int i = 0; i < 10000; ++i) {
        if (i) doc += ",";
        doc += "{\"id\":" + std::to_string(i + 1) + ",\"name\":\"应用 " + std::to_string(i) +
               "\",\"version\":\"v" + std::to_string(i % 9) + ".1.2\",\"categoryIds\":[\"c\"],"
               "\"description\":\"第 " + std::to_string(i) + " 个\",\"icon\":\"/icons/" + std::to_string(i) +
               ".png\",\"packageSize\":" + std::to_string(1000000LL * i) +
               ",\"md5\":\"0123456789abcdef0123456789abcdef\",\"hasPackage\":" + (i % 2 ? "true" : "false") +
               ",\"downloads\":" + std::to_string(i * 7) + ",\"updatedAt\":" + std::to_string(1700000000000LL + i) +
               "}";
    }
    doc += "]}}";
    serveBootstrap(doc);
    Catalog catalog;
    ASSERT_TRUE(loadCatalog(catalog)) << wideToUtf8(catalog.lastError);
    ASSERT_EQ(catalog.apps.size(), 10000u);
    for (int i = 0; i < 10000; ++i) {
        const AppInfo& app = *catalog.apps[i];
        ASSERT_EQ(app.id, i + 1);
        ASSERT_EQ(app.name, L"应用 " + std::to_wstring(i));
        ASSERT_EQ(app.version, std::to_wstring(i % 9) + L".1");
        ASSERT_EQ(app.packageSize, 1000000LL * i);
        ASSERT_EQ(app.hasPackage, i % 2 == 1);
        ASSERT_EQ(app.updatedAt, 1700000000000LL + i);
    }
    EXPECT_EQ(catalog.apps.back()->description, L"第 9999 个");
    EXPECT_EQ(findApp(catalog, 10000), catalog.apps.back());
}

TEST_F(CatalogServer, KeepsTheFirst100000AppsAndLeavesOutTheRest)
{
    ASSERT_EQ(kMaxCatalogApps, 100000u);
    std::string apps;
    for (size_t id = 1; id <= kMaxCatalogApps + 2; ++id) apps += (id > 1 ? ",{\"id\":" : "{\"id\":") + std::to_string(id) + "}";
    serveBootstrap("{\"data\":{\"categories\":[],\"apps\":[" + apps + "]}}");
    Catalog catalog;
    ASSERT_TRUE(loadCatalog(catalog)) << wideToUtf8(catalog.lastError);
    ASSERT_EQ(catalog.apps.size(), kMaxCatalogApps);
    EXPECT_EQ(catalog.apps.front()->id, 1);
    EXPECT_EQ(catalog.apps.back()->id, 100000);
    EXPECT_EQ(findApp(catalog, 100001), nullptr);

    serveSearch("{\"data\":[" + apps + "]}");
    ASSERT_TRUE(search(catalog, testServerUrl(), L"x"));
    ASSERT_EQ(catalog.searchResults.size(), kMaxCatalogApps);
    EXPECT_EQ(catalog.searchResults.back()->id, 100000);
}

struct FieldCase {
    const char* name;
    std::string json;
    void (*check)(const AppInfo&);
};

TEST(CatalogParseAppInfo, FieldRules)
{
    const FieldCase cases[] = {
        {"fractional id truncates", "{\"id\":12.9}", [](const AppInfo& a) { EXPECT_EQ(a.id, 12); }},
        {"negative fractional id truncates toward zero", "{\"id\":-12.9}", [](const AppInfo& a) { EXPECT_EQ(a.id, -12); }},
        {"string id is 0", "{\"id\":\"12\"}", [](const AppInfo& a) { EXPECT_EQ(a.id, 0); }},
        {"string size is 0", "{\"packageSize\":\"100\"}", [](const AppInfo& a) { EXPECT_EQ(a.packageSize, 0); }},
        {"size beyond 32 bits", "{\"packageSize\":5000000000}",
         [](const AppInfo& a) { EXPECT_EQ(a.packageSize, 5000000000LL); }},
        {"numeric hasPackage is false", "{\"hasPackage\":1}", [](const AppInfo& a) { EXPECT_FALSE(a.hasPackage); }},
        {"hasPackage true", "{\"hasPackage\":true}", [](const AppInfo& a) { EXPECT_TRUE(a.hasPackage); }},
        {"string hasPackage is false", "{\"hasPackage\":\"true\"}", [](const AppInfo& a) { EXPECT_FALSE(a.hasPackage); }},
        {"version normalized", "{\"version\":\"v1.2.3\"}", [](const AppInfo& a) { EXPECT_EQ(a.version, L"1.2"); }},
        {"null version is empty", "{\"version\":null}", [](const AppInfo& a) { EXPECT_EQ(a.version, L""); }},
        {"numeric version is empty", "{\"version\":1.5}", [](const AppInfo& a) { EXPECT_EQ(a.version, L""); }},
        {"updatedAt zero", "{\"updatedAt\":0}", [](const AppInfo& a) { EXPECT_EQ(a.updatedAt, 0); }},
        {"md5 stays bytes", "{\"md5\":\"ABCdef\"}", [](const AppInfo& a) { EXPECT_EQ(a.md5, "ABCdef"); }},
        {"numeric md5 is empty", "{\"md5\":5}", [](const AppInfo& a) { EXPECT_EQ(a.md5, ""); }},
        {"name widened from UTF-8", "{\"name\":\"播放器\\u00e9\"}", [](const AppInfo& a) { EXPECT_EQ(a.name, L"播放器é"); }},
        {"icon kept as given", "{\"icon\":\"/icons/a b.png\"}", [](const AppInfo& a) { EXPECT_EQ(a.icon, L"/icons/a b.png"); }},
        {"first of repeated keys", "{\"name\":\"a\",\"name\":\"b\"}", [](const AppInfo& a) { EXPECT_EQ(a.name, L"a"); }},
        {"keys are case-sensitive", "{\"Name\":\"a\",\"ID\":4}",
         [](const AppInfo& a) {
             EXPECT_EQ(a.name, L"");
             EXPECT_EQ(a.id, 0);
         }},
        {"categoryIds skip empty and non-strings", "{\"categoryIds\":[\"a\",\"\",7,\"b\"]}",
         [](const AppInfo& a) { EXPECT_EQ(a.categoryIds, (std::vector<std::wstring>{L"a", L"b"})); }},
        {"empty categoryIds fall back to categoryId", "{\"categoryIds\":[],\"categoryId\":\"c\"}",
         [](const AppInfo& a) { EXPECT_EQ(a.categoryIds, std::vector<std::wstring>{L"c"}); }},
        {"categoryIds win over categoryId", "{\"categoryIds\":[\"a\"],\"categoryId\":\"c\"}",
         [](const AppInfo& a) { EXPECT_EQ(a.categoryIds, std::vector<std::wstring>{L"a"}); }},
        {"categoryIds of only empties fall back", "{\"categoryIds\":[\"\",null],\"categoryId\":\"c\"}",
         [](const AppInfo& a) { EXPECT_EQ(a.categoryIds, std::vector<std::wstring>{L"c"}); }},
        {"categoryIds not an array fall back", "{\"categoryIds\":\"a\",\"categoryId\":\"c\"}",
         [](const AppInfo& a) { EXPECT_EQ(a.categoryIds, std::vector<std::wstring>{L"c"}); }},
        {"numeric categoryId is nothing", "{\"categoryId\":5}",
         [](const AppInfo& a) { EXPECT_TRUE(a.categoryIds.empty()); }},
        {"neither gives an empty list", "{\"id\":1}", [](const AppInfo& a) { EXPECT_TRUE(a.categoryIds.empty()); }},
        {"not an object gives defaults", "[{\"id\":5}]",
         [](const AppInfo& a) {
             EXPECT_EQ(a.id, 0);
             EXPECT_EQ(a.iconState.load(), 0);
             EXPECT_EQ(a.iconBitmap, nullptr);
         }},
    };
    for (const FieldCase& c : cases) {
        SCOPED_TRACE(c.name);
        c.check(*parseApp(c.json));
    }
}

TEST(CatalogNormalizeVersion, Examples)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"v1.2.3", L"1.2"},   {L"2.0", L"2.0"},     {L"1,5 beta", L"1.5"},     {L"V 10", L"10"},
        {L"build 7.0.1-rc2", L"7.0"}, {L"1..2", L"1.2"}, {L"beta", L""},        {L"", L""},
        {L"...", L""},         {L".5", L"5"},        {L"3.", L"3"},             {L"10.20.30.40", L"10.20"},
        {L"版本 2 . 1", L"2.1"}, {L"1 2 3", L"1.2"},   {L"1a2", L"12"},
    };
    for (const auto& c : cases) EXPECT_EQ(normalizeVersion(c.first), c.second) << wideToUtf8(c.first);
}

TEST(CatalogDownloadUrl, ChannelIsEncodedTildeIncluded)
{
    const std::wstring server = L"http://h:1";
    EXPECT_EQ(buildDownloadUrl(server, 42, L"a b~"), "http://h:1/api/client/download/42?channel=a%20b%7E");
    EXPECT_EQ(buildDownloadUrl(server, -7, L"default"), "http://h:1/api/client/download/-7?channel=default");
    EXPECT_EQ(buildDownloadUrl(server, 1, L"渠道-1._"), "http://h:1/api/client/download/1?channel=%E6%B8%A0%E9%81%93-1._");
    EXPECT_EQ(buildDownloadUrl(L"https://例子.cn", 0, L"&=?"),
              "https://\xE4\xBE\x8B\xE5\xAD\x90.cn/api/client/download/0?channel=%26%3D%3F");
}

TEST_F(CatalogServer, DownloadLinkFetchesThePackage)
{
    const std::string link = buildDownloadUrl(testServerUrl(), 1, L"a b~");
    HttpResponse response;
    std::wstring errorText;
    ASSERT_EQ(HttpClient::request(utf8ToWide(link), {}, nullptr, L"GET", DataSink(), response, errorText, nullptr),
              HttpResult::Ok)
        << wideToUtf8(errorText);
    EXPECT_EQ(response.body.size(), 4096u);
    std::string log;
    ASSERT_TRUE(serverGet("/_control/log", &log));
    EXPECT_NE(log.find("\"channel=a%20b%7E\""), std::string::npos) << log;
}

TEST_F(CatalogSearch, QueryKeepsTildeAndFindsTheServersMatches)
{
    Catalog catalog;
    ASSERT_TRUE(search(catalog, testServerUrl(), L"a b~"));
    EXPECT_TRUE(catalog.searchResults.empty());
    std::string log;
    ASSERT_TRUE(serverGet("/_control/log", &log));
    EXPECT_NE(log.find("\"query\":\"q=a%20b~\""), std::string::npos) << log;

    ASSERT_TRUE(search(catalog, testServerUrl(), L"编辑器"));
    ASSERT_EQ(catalog.searchResults.size(), 1u);
    EXPECT_EQ(catalog.searchResults[0]->id, 1);
    EXPECT_EQ(findSearchResult(catalog, 1), catalog.searchResults[0]);
    EXPECT_EQ(findSearchResult(catalog, 2), nullptr);
    EXPECT_TRUE(catalog.apps.empty());
}

TEST_F(CatalogSearch, ReplyShapes)
{
    Catalog catalog;
    serveSearch("{\"data\":[{\"id\":4},7,{\"id\":4,\"name\":\"second\"}]}");
    ASSERT_TRUE(search(catalog, testServerUrl(), L"x"));
    ASSERT_EQ(catalog.searchResults.size(), 3u);
    EXPECT_EQ(catalog.searchResults[1]->id, 0);
    EXPECT_EQ(findSearchResult(catalog, 4), catalog.searchResults[0]);

    serveSearch("{\"data\":{\"apps\":[{\"id\":4}]}}");
    EXPECT_TRUE(search(catalog, testServerUrl(), L"x"));
    EXPECT_TRUE(catalog.searchResults.empty());
    EXPECT_EQ(catalog.lastError, L"");

    serveSearch("{\"data\":[{\"id\":4}]}");
    ASSERT_TRUE(search(catalog, testServerUrl(), L"x"));
    serveSearch("[]");
    EXPECT_FALSE(search(catalog, testServerUrl(), L"x"));
    EXPECT_EQ(catalog.lastError, L"数据格式错误");
    EXPECT_TRUE(catalog.searchResults.empty());

    addServerRule("{\"path\":\"/api/client/apps\",\"then\":{\"status\":503,\"body\":\"busy\"}}");
    EXPECT_FALSE(search(catalog, testServerUrl(), L"x"));
    EXPECT_EQ(catalog.lastError, L"HTTP 503");

    serveSearch("{\"data\":[{\"id\":4}]}");
    EXPECT_TRUE(search(catalog, testServerUrl(), L"x"));
    EXPECT_EQ(catalog.lastError, L"");
    EXPECT_EQ(catalog.searchResults.size(), 1u);
}

TEST_F(CatalogLoad, WorkerPostsLoadedThenAdoptMakesTheListsVisible)
{
    MessageWindow window;
    ASSERT_TRUE(window.get());
    Catalog catalog;
    ASSERT_TRUE(startCatalogLoad(catalog, window.get(), testServerUrl()));
    MSG msg;
    ASSERT_TRUE(window.next(WM_APP_REFRESH, WM_APP_CATALOG_READY, msg, 30000));
    EXPECT_EQ(msg.message, WM_APP_CATALOG_READY);
    EXPECT_EQ(msg.wParam, 1u);
    EXPECT_EQ(msg.lParam, 0);
    EXPECT_TRUE(catalog.apps.empty());
    EXPECT_TRUE(catalog.adoptPending());
    EXPECT_EQ(catalog.apps.size(), 5u);
    EXPECT_FALSE(window.next(WM_APP_REFRESH, WM_APP_CATALOG_READY, msg, 0));
}

TEST_F(CatalogLoad, WorkerPostsFailedAndNothingIsPending)
{
    MessageWindow window;
    Catalog catalog;
    serveBootstrap("oops", 404);
    ASSERT_TRUE(startCatalogLoad(catalog, window.get(), testServerUrl()));
    MSG msg;
    ASSERT_TRUE(window.next(WM_APP_REFRESH, WM_APP_CATALOG_READY, msg, 30000));
    EXPECT_EQ(msg.message, WM_APP_CATALOG_READY);
    EXPECT_EQ(msg.wParam, 0u);
    EXPECT_EQ(catalog.lastError, L"HTTP 404");
    EXPECT_FALSE(catalog.adoptPending());
}

TEST(CatalogFind, FirstEntryWithTheIdOrNone)
{
    Catalog catalog;
    for (int32_t id : {3, 5, 3}) {
        auto app = std::make_shared<AppInfo>();
        app->id = id;
        catalog.apps.push_back(app);
    }
    EXPECT_EQ(findApp(catalog, 3), catalog.apps[0]);
    EXPECT_EQ(findApp(catalog, 5), catalog.apps[1]);
    EXPECT_EQ(findApp(catalog, 4), nullptr);
    EXPECT_EQ(findSearchResult(catalog, 3), nullptr);
}

}  // namespace

#pragma once
// The catalog server's JSON API turned into the records the window draws.
//
// Hand-over: bootstrap builds new lists off to the side and never touches the
// lists a reader may be walking. The UI thread swaps them in with
// Catalog::adoptPending when it handles WM_APP_CATALOG_READY, so it always sees
// one whole catalog. Records are owned through shared pointers: an icon worker
// keeps its record alive, and a record's bitmap is deleted with the record.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/json.h"
#include "net/app_search.h"
#include "net/http_client.h"
#include "net/version_text.h"

struct Category {
    std::wstring id;
    std::wstring name;
};

struct AppInfo {
    int32_t id = 0;
    std::wstring name;
    std::wstring version;
    std::vector<std::wstring> categoryIds;
    std::wstring description;
    std::wstring icon;
    int64_t packageSize = 0;
    std::string md5;
    bool hasPackage = false;
    int64_t downloads = 0;
    int64_t updatedAt = 0;
    // Set by the icon loader before it stores 2 in iconState; read it only after
    // seeing iconState == 2.
    HBITMAP iconBitmap = nullptr;
    // 0 not requested, 1 loading, 2 ready, 3 failed.
    std::atomic<int32_t> iconState{0};

    AppInfo() = default;
    AppInfo(const AppInfo&) = delete;
    AppInfo& operator=(const AppInfo&) = delete;
    // Deletes iconBitmap: the last owner of the record owns the bitmap.
    ~AppInfo();
};

using AppList = std::vector<std::shared_ptr<AppInfo>>;

// The most apps a catalog (or a search result) keeps: the first ones in the
// server's order. No real catalog comes near it; a server that sends millions
// of entries cannot make the program hold millions of records.
constexpr size_t kMaxCatalogApps = 100000;

// The result of one successful bootstrap, waiting for the UI thread.
struct CatalogLists {
    std::vector<Category> categories;
    AppList apps;
    // Of apps, made where the lists are made: spelling 10,000 names in pinyin
    // costs as much as a frame.
    SearchIndex searchIndex;
};

struct Catalog {
    // Read and replaced on the UI thread only.
    std::vector<Category> categories;
    AppList apps;
    // The local search over apps (positions into it), adopted with it.
    SearchIndex searchIndex;
    // Filled by search on its caller's thread.
    AppList searchResults;
    // Written by bootstrap and search; read it after they return (for a load on
    // the worker, after WM_APP_CATALOG_READY arrives).
    std::wstring lastError;
    // Written by bootstrap with lastError: its failure was the server's TLS
    // certificate (the error page then names the certificate).
    std::atomic<bool> certificateRejected{false};
    // The window icon workers notify.
    std::atomic<HWND> notifyWindow{nullptr};

    // UI thread: replaces categories, apps and searchIndex with the lists of
    // the newest successful bootstrap not yet adopted (lists handed over
    // without an index get one made here). False (lists unchanged) when there
    // is none.
    bool adoptPending();
    // Any thread: stores freshly built lists for adoptPending.
    void setPending(std::unique_ptr<CatalogLists> lists);

private:
    std::mutex pendingLock_;
    std::unique_ptr<CatalogLists> pending_;
};

// One GET; on failure errorText is the HTTP client's text, or "网络错误" when it
// gave none. The status is not looked at: the client decides what fails.
// result, when given, receives the client's result.
bool fetchJson(const std::wstring& url, std::string& body, std::wstring& errorText, HttpResult* result = nullptr);
// The text fetchJson reports for a failed request with the client's text.
std::wstring fetchErrorText(const std::wstring& clientText);

// Blocking; any thread. Parses the bootstrap document into new lists, builds
// their search index and hands them to catalog.setPending. On failure sets
// lastError and leaves every list (and any pending one) as it was.
bool bootstrap(Catalog& catalog, const std::wstring& serverUrl);
// Blocking; fills searchResults on the caller's thread.
bool search(Catalog& catalog, const std::wstring& serverUrl, const std::wstring& query);

// Runs bootstrap on a detached worker thread with its own copy of the URL and
// posts WM_APP_CATALOG_READY (wParam 1 loaded, 0 failed) to window. The catalog
// must outlive the worker. False when the thread could not be started (nothing
// is posted then).
bool startCatalogLoad(Catalog& catalog, HWND window, const std::wstring& serverUrl);

// Never fails: missing keys and wrong JSON types give the field defaults.
std::shared_ptr<AppInfo> parseAppInfo(const json::Value& value);
// The installer link: server + "/api/client/download/" + id + "?channel=" + the
// channel percent-encoded ("~" too). UTF-8.
std::string buildDownloadUrl(const std::wstring& serverUrl, int32_t appId, const std::wstring& channel);

// First entry with that id, or null. UI thread.
std::shared_ptr<AppInfo> findApp(const Catalog& catalog, int32_t appId);
std::shared_ptr<AppInfo> findSearchResult(const Catalog& catalog, int32_t appId);
// findApp, else findSearchResult: an app the window may show.
std::shared_ptr<AppInfo> findAnyApp(const Catalog& catalog, int32_t appId);

#pragma once
// The local search over the Catalog's lists, and the server's search on a
// worker thread. net/app_search.h says how the window uses them.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "net/app_search.h"
#include "net/catalog.h"

// Any thread: the index of apps, each app with the names of its categories
// (an id the list does not hold names nothing).
SearchIndex buildSearchIndex(const std::vector<Category>& categories, const AppList& apps);
// The apps of `apps`, the list `index` was built from, matching query, best first.
AppList localSearchResults(const AppList& apps, const SearchIndex& index, std::wstring_view query);
// Appends the server's results whose ids `shown` does not hold yet, in the
// server's order, each id once.
void appendServerResults(AppList& shown, const AppList& serverResults);

// The server's search for the newest query. Hand-over: a worker runs `search`
// into a catalog of its own and stores its answer as pending, unless a later
// query has started meanwhile; the UI thread moves it into the catalog with
// adoptPending when WM_APP_SEARCH_READY arrives. A failed search stores nothing.
class ServerSearch {
public:
    // UI thread. Starts the search for query on a detached worker, which posts
    // WM_APP_SEARCH_READY to window when it ends (wParam 1 answered, 0 failed;
    // lParam 0). From now on every answer to an earlier query is dropped.
    // False when the thread could not be started (nothing is posted then).
    bool start(HWND window, const std::wstring& serverUrl, const std::wstring& query);
    // UI thread: drops the answers to every query started so far (the text
    // changed; the next pause starts a search for the new one).
    void dropAnswers();
    // UI thread, on WM_APP_SEARCH_READY: moves the answer to the newest query
    // into catalog.searchResults and returns true. False, changing nothing,
    // when that query has not answered (yet), failed, or was dropped.
    bool adoptPending(Catalog& catalog);
    // The query whose answer the last successful adoptPending moved in.
    const std::wstring& adoptedQuery() const { return adoptedQuery_; }

private:
    struct Answer {
        uint64_t number;
        std::wstring query;
        AppList results;
    };

    // Any thread: keeps the answer to query `number` unless a later one started.
    void setPending(uint64_t number, const std::wstring& query, AppList results);

    // The number of the newest query; a query's answer counts only while its
    // number is still this one.
    std::atomic<uint64_t> newestNumber_{0};
    std::mutex pendingLock_;
    std::unique_ptr<Answer> pending_;
    std::wstring adoptedQuery_;
};

// The window's server search.
ServerSearch& serverSearch();

// The local search over the Catalog, and the server's search on a worker.

#include "net/catalog_search.h"

#include <new>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/app_messages.h"
#include "core/detached_thread.h"

SearchIndex buildSearchIndex(const std::vector<Category>& categories, const AppList& apps)
{
    std::vector<std::wstring_view> categoryNames;
    std::unordered_map<std::wstring, std::vector<size_t>> categoriesById;
    categoryNames.reserve(categories.size());
    for (size_t c = 0; c < categories.size(); ++c) {
        categoryNames.push_back(categories[c].name);
        categoriesById[categories[c].id].push_back(c);
    }
    std::vector<SearchableApp> searchable(apps.size());
    for (size_t i = 0; i < apps.size(); ++i) {
        const AppInfo* app = apps[i].get();
        if (!app) continue;
        searchable[i].name = app->name;
        searchable[i].description = app->description;
        for (const std::wstring& id : app->categoryIds) {
            auto found = categoriesById.find(id);
            if (found != categoriesById.end())
                searchable[i].categories.insert(searchable[i].categories.end(), found->second.begin(),
                                                found->second.end());
        }
    }
    return SearchIndex(searchable, categoryNames);
}

AppList localSearchResults(const AppList& apps, const SearchIndex& index, std::wstring_view query)
{
    AppList results;
    for (size_t position : index.find(query)) {
        if (position < apps.size()) results.push_back(apps[position]);
    }
    return results;
}

void appendServerResults(AppList& shown, const AppList& serverResults)
{
    std::unordered_set<int32_t> ids;
    for (const auto& app : shown) {
        if (app) ids.insert(app->id);
    }
    for (const auto& app : serverResults) {
        if (app && ids.insert(app->id).second) shown.push_back(app);
    }
}

bool ServerSearch::start(HWND window, const std::wstring& serverUrl, const std::wstring& query)
{
    const uint64_t number = ++newestNumber_;
    ServerSearch* target = this;
    return static_cast<bool>(startDetachedThread([target, window, number, serverUrl, query] {
        bool answered = false;
        try {
            // A catalog of its own: the UI thread reads the window's while this runs.
            Catalog answer;
            answered = search(answer, serverUrl, query);
            if (answered) target->setPending(number, query, std::move(answer.searchResults));
        } catch (const std::bad_alloc&) {
            answered = false;
        }
        PostMessageW(window, WM_APP_SEARCH_READY, answered ? 1 : 0, 0);
    }));
}

void ServerSearch::dropAnswers()
{
    ++newestNumber_;
    std::lock_guard<std::mutex> lock(pendingLock_);
    pending_.reset();
}

bool ServerSearch::adoptPending(Catalog& catalog)
{
    std::unique_ptr<Answer> answer;
    {
        std::lock_guard<std::mutex> lock(pendingLock_);
        answer = std::move(pending_);
    }
    if (!answer || answer->number != newestNumber_) return false;
    catalog.searchResults = std::move(answer->results);
    adoptedQuery_ = std::move(answer->query);
    return true;
}

void ServerSearch::setPending(uint64_t number, const std::wstring& query, AppList results)
{
    std::lock_guard<std::mutex> lock(pendingLock_);
    if (number != newestNumber_) return;
    pending_ = std::make_unique<Answer>(Answer{number, query, std::move(results)});
}

ServerSearch& serverSearch()
{
    // Never destroyed: a worker may still store its answer while the process exits.
    static ServerSearch* instance = new ServerSearch;
    return *instance;
}

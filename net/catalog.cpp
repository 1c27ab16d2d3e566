// Bootstrap and search against the catalog server, and the hand-over of new
// lists to the UI thread.

#include "net/catalog.h"

#include <algorithm>

#include "core/text.h"
#include "net/catalog_search.h"
#include "net/http_client.h"

namespace {

const wchar_t* const kBadDataText = L"数据格式错误";
const wchar_t* const kNoErrorText = L"网络错误";

// The "data" member of a reply, or null when the reply is not JSON or has none.
const json::Value* replyData(const std::shared_ptr<json::Value>& root)
{
    return root ? root->get("data") : nullptr;
}

// The elements of an array member; a member of another type has none.
json::ArrayRef arrayMember(const json::Value& object, const char* key)
{
    const json::Value* member = object.get(key);
    return member && member->type == json::Type::Array ? member->array : json::ArrayRef();
}

// Records of the first kMaxCatalogApps elements; the rest are left out. An
// element that is not an object still yields a record, every field at its default.
AppList appsFrom(const json::ArrayRef& elements)
{
    AppList apps;
    const size_t kept = std::min(elements.size(), kMaxCatalogApps);
    apps.reserve(kept);
    for (size_t i = 0; i < kept; ++i) apps.push_back(parseAppInfo(*elements[i]));
    return apps;
}

std::unique_ptr<CatalogLists> listsFromData(const json::Value& data)
{
    auto lists = std::make_unique<CatalogLists>();
    const json::ArrayRef categories = arrayMember(data, "categories");
    lists->categories.reserve(categories.size());
    for (const json::ValuePtr element : categories) {
        const json::Value* id = element->get("id");
        const json::Value* name = element->get("name");
        lists->categories.push_back({id ? utf8ToWide(id->asString("")) : std::wstring(),
                                     name ? utf8ToWide(name->asString("")) : std::wstring()});
    }
    lists->apps = appsFrom(arrayMember(data, "apps"));
    return lists;
}

std::shared_ptr<AppInfo> findIn(const AppList& list, int32_t appId)
{
    for (const auto& app : list)
        if (app->id == appId) return app;
    return nullptr;
}

}  // namespace

std::wstring fetchErrorText(const std::wstring& clientText) { return clientText.empty() ? kNoErrorText : clientText; }

namespace {

// Fetches a reply and returns its "data" member (kept alive by root), or null
// with errorText set: the client's text, or "数据格式错误" for a reply that is
// not JSON or has no "data".
const json::Value* fetchData(const std::wstring& url, std::shared_ptr<json::Value>& root, std::wstring& errorText,
                             HttpResult* result = nullptr)
{
    std::string body;
    if (!fetchJson(url, body, errorText, result)) return nullptr;
    root = json::parse(body);
    const json::Value* data = replyData(root);
    if (!data) errorText = kBadDataText;
    return data;
}

}  // namespace

bool fetchJson(const std::wstring& url, std::string& body, std::wstring& errorText, HttpResult* resultOut)
{
    HttpResponse response;
    std::wstring clientText;
    HttpResult result = HttpClient::request(url, {}, nullptr, L"GET", DataSink(), response, clientText, nullptr);
    if (resultOut) *resultOut = result;
    if (result != HttpResult::Ok) {
        errorText = fetchErrorText(clientText);
        return false;
    }
    body = std::move(response.body);
    return true;
}

bool bootstrap(Catalog& catalog, const std::wstring& serverUrl)
{
    catalog.lastError.clear();
    std::shared_ptr<json::Value> root;
    HttpResult result = HttpResult::Ok;
    const json::Value* data = fetchData(serverUrl + L"/api/client/bootstrap", root, catalog.lastError, &result);
    catalog.certificateRejected = result == HttpResult::TlsFailure;
    if (!data) return false;
    std::unique_ptr<CatalogLists> lists = listsFromData(*data);
    lists->searchIndex = buildSearchIndex(lists->categories, lists->apps);
    catalog.setPending(std::move(lists));
    return true;
}

bool search(Catalog& catalog, const std::wstring& serverUrl, const std::wstring& query)
{
    catalog.searchResults.clear();
    catalog.lastError.clear();
    const std::wstring url =
        serverUrl + L"/api/client/apps?q=" + utf8ToWide(percentEncode(wideToUtf8(query), true));
    std::shared_ptr<json::Value> root;
    const json::Value* data = fetchData(url, root, catalog.lastError);
    if (!data) return false;
    catalog.searchResults = appsFrom(data->array);
    return true;
}

void Catalog::setPending(std::unique_ptr<CatalogLists> lists)
{
    std::lock_guard<std::mutex> lock(pendingLock_);
    pending_ = std::move(lists);
}

bool Catalog::adoptPending()
{
    std::unique_ptr<CatalogLists> lists;
    {
        std::lock_guard<std::mutex> lock(pendingLock_);
        lists = std::move(pending_);
    }
    if (!lists) return false;
    if (lists->searchIndex.size() != lists->apps.size())
        lists->searchIndex = buildSearchIndex(lists->categories, lists->apps);
    categories.swap(lists->categories);
    apps.swap(lists->apps);
    std::swap(searchIndex, lists->searchIndex);
    // The old records go with `lists` here; a record an icon worker still holds
    // lives (with its bitmap) until that worker lets go.
    return true;
}

std::shared_ptr<AppInfo> findApp(const Catalog& catalog, int32_t appId) { return findIn(catalog.apps, appId); }

std::shared_ptr<AppInfo> findSearchResult(const Catalog& catalog, int32_t appId)
{
    return findIn(catalog.searchResults, appId);
}

std::shared_ptr<AppInfo> findAnyApp(const Catalog& catalog, int32_t appId)
{
    auto app = findApp(catalog, appId);
    return app ? app : findSearchResult(catalog, appId);
}

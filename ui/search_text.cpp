#include "ui/search_text.h"

#include "net/app_search.h"

std::wstring searchQuery(std::wstring_view fieldText)
{
    size_t first = 0;
    size_t end = fieldText.size();
    while (first < end && isSearchBlank(fieldText[first])) ++first;
    while (end > first && isSearchBlank(fieldText[end - 1])) --end;
    return std::wstring(fieldText.substr(first, end - first));
}

std::wstring searchHeading(std::wstring_view query, size_t count)
{
    return L"搜索「" + std::wstring(query) + L"」· " + std::to_wstring(count) + L" 款";
}

std::wstring noSearchResultsText(std::wstring_view query)
{
    return L"没有找到与「" + std::wstring(query) + L"」相关的软件";
}

bool serverSearchDue(std::wstring_view fieldText) { return searchQuery(fieldText).size() >= 2; }

#pragma once
// The texts of a search page and when the server is asked. Platform-free.

#include <cstddef>
#include <string>
#include <string_view>

// The query as the page shows it and the server gets it: the field's text
// without the blanks at its ends.
std::wstring searchQuery(std::wstring_view fieldText);
// "搜索「q」· N 款": the heading of the results.
std::wstring searchHeading(std::wstring_view query, size_t count);
// "没有找到与「q」相关的软件": the grid's one line when nothing matches.
std::wstring noSearchResultsText(std::wstring_view query);
// A pause in typing asks the server once the query has 2 characters.
bool serverSearchDue(std::wstring_view fieldText);

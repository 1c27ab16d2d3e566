// The texts of a search page and when the server is asked.

#include "ui/search_text.h"

#include <gtest/gtest.h>

TEST(SearchText, QueryHeadingEmptyLineAndTheServersTurn)
{
    const struct { const wchar_t* field; const wchar_t* query; bool serverDue; } cases[] = {
        {L"mbj", L"mbj", true}, {L"  墨笔 \u3000", L"墨笔", true}, {L"墨", L"墨", false},
        {L" q ", L"q", false},  {L"a b", L"a b", true},             {L"\t ", L"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(searchQuery(c.field), c.query);
        EXPECT_EQ(serverSearchDue(c.field), c.serverDue) << searchQuery(c.field).size();
    }
    EXPECT_EQ(searchHeading(L"mbj", 12), L"搜索「mbj」· 12 款");
    EXPECT_EQ(noSearchResultsText(L"zzz"), L"没有找到与「zzz」相关的软件");
}

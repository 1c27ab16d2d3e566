// The local search: what a query matches (name, pinyin, initials, several
// readings, description, category) and in which order.

#include "net/app_search.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::vector<std::wstring_view> kCategories = {L"办公学习", L"开发工具", L"影音娱乐"};

const std::vector<SearchableApp> kApps = {
    {L"墨笔记", L"记录灵感的笔记本", {0}},
    {L"QQ音乐", L"听歌 Music", {2}},
    {L"WPS文字", L"Office 文档", {0}},
    {L"银行助手", L"账单提醒", {}},
    {L"重庆地图", L"", {}},
    {L"长城浏览器", L"", {}},
    {L"行者", L"骑行记录", {}},
    {L"Visual Studio Code", L"代码编辑器", {1}},
    {L"记事本", L"简单的文本编辑器", {0, 7}},  // 7: no such category
};

TEST(AppSearch, MatchesAndRanksByNamePinyinInitialsThenElsewhere)
{
    const SearchIndex index(kApps, kCategories);
    const struct {
        const wchar_t* query;
        std::vector<size_t> found;
    } cases[] = {
        // Initials and full pinyin, anywhere in the name, any case.
        {L"mbj", {0}},
        {L"MBJ", {0}},
        {L"biji", {0}},
        {L"ji", {8, 0}},
        // Mixed Latin and Han names.
        {L"qqyy", {1}},
        {L"QQyinyue", {1}},
        {L"wpswz", {2}},
        {L"wenzi", {2}},
        // Several readings: either one.
        {L"yinhang", {3}},
        {L"yinxing", {3}},
        {L"cq", {4}},
        {L"zhongqing", {4}},
        {L"chongqing", {4}},
        {L"changcheng", {5}},
        {L"zc", {5}},
        {L"hz", {6, 3}},
        {L"xz", {6, 3}},
        // Name start, then elsewhere in the name, then description only.
        {L"记", {8, 0, 6}},
        {L"编辑器", {7, 8}},
        {L"music", {1}},
        {L"开发", {7}},
        // Every word must match; the first decides the start rank.
        {L"编辑 code", {7}},
        {L"办公 wz", {2}},
        {L"mbj music", {}},
        {L"  mbj\u3000", {0}},
        // No words, no search.
        {L"", {}},
        {L"   ", {}},
        {L"\u3000\t", {}},
    };
    for (const auto& c : cases) {
        const std::wstring query = c.query;
        EXPECT_EQ(index.find(query), c.found) << query;
    }
}

TEST(AppSearch, WordsAreSplitAtSpacesAndFolded)
{
    EXPECT_EQ(searchWords(L" QQ  音乐\u3000Ab\t"), (std::vector<std::wstring>{L"qq", L"音乐", L"ab"}));
    EXPECT_FALSE(hasSearchWords(L" \u3000\t"));
    EXPECT_TRUE(hasSearchWords(L" x"));
}

}  // namespace

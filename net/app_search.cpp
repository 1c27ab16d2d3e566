#include "net/app_search.h"

#include <utility>

#include "core/ascii.h"

namespace {

std::wstring folded(std::wstring_view text)
{
    std::wstring result(text);
    for (wchar_t& c : result) c = asciiLower(c);
    return result;
}

bool contains(const std::wstring& text, const std::wstring& word) { return text.find(word) != std::wstring::npos; }

bool startsWith(const std::wstring& text, const std::wstring& word) { return text.compare(0, word.size(), word) == 0; }

}  // namespace

bool isSearchBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\u3000'; }

std::vector<std::wstring> searchWords(std::wstring_view query)
{
    std::vector<std::wstring> words;
    size_t i = 0;
    while (i < query.size()) {
        while (i < query.size() && isSearchBlank(query[i])) ++i;
        const size_t start = i;
        while (i < query.size() && !isSearchBlank(query[i])) ++i;
        if (i > start) words.push_back(folded(query.substr(start, i - start)));
    }
    return words;
}

bool hasSearchWords(std::wstring_view query)
{
    for (wchar_t c : query) {
        if (!isSearchBlank(c)) return true;
    }
    return false;
}

SearchIndex::SearchIndex(const std::vector<SearchableApp>& apps, const std::vector<std::wstring_view>& categoryNames)
{
    categoryNames_.reserve(categoryNames.size());
    for (std::wstring_view name : categoryNames) categoryNames_.push_back(folded(name));
    apps_.reserve(apps.size());
    for (const SearchableApp& app : apps) {
        Entry entry{folded(app.name), PinyinSpelling(app.name), folded(app.description), {}};
        for (size_t category : app.categories) {
            if (category < categoryNames_.size()) entry.categories.push_back(category);
        }
        apps_.push_back(std::move(entry));
    }
}

std::vector<size_t> SearchIndex::find(std::wstring_view query) const
{
    const std::vector<std::wstring> words = searchWords(query);
    if (words.empty()) return {};
    // Categories are few: which of them hold each word is decided once.
    std::vector<std::vector<bool>> categoryHits(words.size(), std::vector<bool>(categoryNames_.size()));
    for (size_t w = 0; w < words.size(); ++w) {
        for (size_t c = 0; c < categoryNames_.size(); ++c) categoryHits[w][c] = contains(categoryNames_[c], words[w]);
    }
    std::vector<size_t> byRank[3];
    for (size_t i = 0; i < apps_.size(); ++i) {
        const Rank found = rank(apps_[i], words, categoryHits);
        if (found != Rank::None) byRank[static_cast<int>(found) - 1].push_back(i);
    }
    std::vector<size_t> result = std::move(byRank[0]);
    result.insert(result.end(), byRank[1].begin(), byRank[1].end());
    result.insert(result.end(), byRank[2].begin(), byRank[2].end());
    return result;
}

SearchIndex::Rank SearchIndex::rank(const Entry& app, const std::vector<std::wstring>& words,
                                    const std::vector<std::vector<bool>>& categoryHits)
{
    bool inName = false;
    bool firstInName = false;
    for (size_t w = 0; w < words.size(); ++w) {
        const std::wstring& word = words[w];
        if (contains(app.name, word) || app.spelling.fullHas(word, false) || app.spelling.initialsHave(word, false)) {
            inName = true;
            firstInName = firstInName || w == 0;
            continue;
        }
        bool elsewhere = contains(app.description, word);
        for (size_t c = 0; !elsewhere && c < app.categories.size(); ++c) elsewhere = categoryHits[w][app.categories[c]];
        if (!elsewhere) return Rank::None;
    }
    const std::wstring& first = words.front();
    if (firstInName && (startsWith(app.name, first) || app.spelling.fullHas(first, true) ||
                        app.spelling.initialsHave(first, true)))
        return Rank::NameStart;
    return inName ? Rank::Name : Rank::Elsewhere;
}

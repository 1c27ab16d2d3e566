#pragma once
// The catalog's local search: which apps a query matches and in which order.
// Platform-free; net/catalog_search.h ties it to the Catalog and runs the
// server's search.
//
// For the window's search field:
//   1. Index: catalog.searchIndex (positions into catalog.apps). bootstrap
//      builds it on the loader thread and Catalog::adoptPending hands it over
//      with the app list. It folds and spells every name in pinyin once, so a
//      keystroke only compares strings: under 2 ms for 10,000 apps
//      (tools/bench/search_bench.sh).
//   2. Every change of the text: localSearchResults(catalog.apps, catalog.searchIndex, text),
//      best first. hasSearchWords(text) is false for an empty or blank text: no
//      search then, the category shows.
//   3. The server: serverSearch().dropAnswers() on every change of the text;
//      serverSearch().start(window, serverUrl, text) after the pause (or Enter).
//      The worker posts WM_APP_SEARCH_READY (wParam 1 answered, 0 failed;
//      lParam 0). On it, serverSearch().adoptPending(catalog) is true when the
//      newest query's answer is now catalog.searchResults (for the text
//      serverSearch().adoptedQuery()); then appendServerResults(shown,
//      catalog.searchResults) adds the apps the local results lack, and
//      findSearchResult finds them. False: a failed, dropped or overtaken
//      answer; nothing changes.
//
// What matches: the query is split at spaces and every word must match. A word
// matches an app when, with ASCII letters compared case-insensitively, it is a
// substring of the name, of the name's full pinyin, of its pinyin initials
// (see PinyinSpelling; a character with several readings matches by any), of
// the description or of one of the app's category names.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/pinyin.h"

// The words of a query: split at spaces, tabs and ideographic spaces (U+3000),
// ASCII letters lower-cased. None for an empty or blank query.
std::vector<std::wstring> searchWords(std::wstring_view query);
bool hasSearchWords(std::wstring_view query);
// What separates the words: a space, a tab or an ideographic space.
bool isSearchBlank(wchar_t c);

// What the index reads of one app; the texts need to live only while the
// index is built.
struct SearchableApp {
    std::wstring_view name;
    std::wstring_view description;
    // Positions in the category names given to the index.
    std::vector<size_t> categories;
};

class SearchIndex {
public:
    SearchIndex() = default;
    SearchIndex(const std::vector<SearchableApp>& apps, const std::vector<std::wstring_view>& categoryNames);

    // Positions (in the list the index was built from) of the apps every word
    // of query matches: first those whose name, full pinyin or initials begin
    // with the first word; then the others matched in name, pinyin or
    // initials; then those matched only by description or category; in list
    // order within each. None for a query without words.
    std::vector<size_t> find(std::wstring_view query) const;

    size_t size() const { return apps_.size(); }

private:
    enum class Rank { None, NameStart, Name, Elsewhere };
    struct Entry {
        std::wstring name;
        PinyinSpelling spelling;
        std::wstring description;
        std::vector<size_t> categories;
    };

    static Rank rank(const Entry& app, const std::vector<std::wstring>& words,
                     const std::vector<std::vector<bool>>& categoryHits);

    std::vector<Entry> apps_;
    std::vector<std::wstring> categoryNames_;
};

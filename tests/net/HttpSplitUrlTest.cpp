// splitUrl through the platform's URL cracker.

#include <gtest/gtest.h>

#include <string>

#include "core/text.h"
#include "net/http_client.h"

namespace {

struct SplitCase {
    std::wstring url;
    bool secure;
    const wchar_t* scheme;
    std::wstring host;
    uint16_t port;
    std::wstring pathWithQuery;
};

TEST(SplitUrl, GivesSchemeHostPortAndPathWithQuery)
{
    const SplitCase cases[] = {
        {L"http://example.com/a/b", false, L"http", L"example.com", 80, L"/a/b"},
        {L"https://example.com/a", true, L"https", L"example.com", 443, L"/a"},
        {L"https://127.0.0.1:8443/x?y=1", true, L"https", L"127.0.0.1", 8443, L"/x?y=1"},
        {L"http://h:8080/api/client/apps?q=%E4%B8%AD&x=2", false, L"http", L"h", 8080,
         L"/api/client/apps?q=%E4%B8%AD&x=2"},
        {L"HTTP://H/Mixed/Case", false, L"http", L"H", 80, L"/Mixed/Case"},
        {L"http://h", false, L"http", L"h", 80, L"/"},
        {L"https://h:444", true, L"https", L"h", 444, L"/"},
        {L"http://h?x=1", false, L"http", L"h", 80, L"/?x=1"},
        {L"http://h:8080?x=1", false, L"http", L"h", 8080, L"/?x=1"},
        {L"http://h?next=/a/b", false, L"http", L"h", 80, L"/?next=/a/b"},
        {L"http://h:81?next=/a", false, L"http", L"h", 81, L"/?next=/a"},
        {L"http://h#f", false, L"http", L"h", 80, L"/#f"},
        {L"http://u:p@h:81/a?b", false, L"http", L"h", 81, L"/a?b"},
        {L"http://h/a/b?x=1&y=/z", false, L"http", L"h", 80, L"/a/b?x=1&y=/z"},
        {L"http://h/a%20b", false, L"http", L"h", 80, L"/a%20b"},
        {L"http://h:80/", false, L"http", L"h", 80, L"/"},
    };
    for (const auto& c : cases) {
        UrlParts parts{};
        ASSERT_TRUE(splitUrl(c.url, parts)) << wideToUtf8(c.url);
        EXPECT_EQ(parts.secure, c.secure) << wideToUtf8(c.url);
        EXPECT_EQ(parts.scheme, c.scheme) << wideToUtf8(c.url);
        EXPECT_EQ(parts.host, c.host) << wideToUtf8(c.url);
        EXPECT_EQ(parts.port, c.port) << wideToUtf8(c.url);
        EXPECT_EQ(wideToUtf8(parts.pathWithQuery), wideToUtf8(c.pathWithQuery)) << wideToUtf8(c.url);
    }
}

TEST(SplitUrl, RefusesWhatIsNoHttpUrl)
{
    const std::wstring cases[] = {
        L"",
        L"example.com/a",
        L"/relative/path",
        L"ftp://example.com/file",
        L"file:///C:/x",
        L"http:///no-host",
        L"http://h:99999/port-too-large",
        std::wstring(L"http://h/a\0b", 12),
    };
    for (const auto& url : cases) {
        UrlParts parts{};
        EXPECT_FALSE(splitUrl(url, parts)) << wideToUtf8(url);
    }
}

TEST(SplitUrl, HostUpTo255CharactersFits)
{
    UrlParts parts{};
    ASSERT_TRUE(splitUrl(L"http://" + std::wstring(255, L'a') + L"/x", parts));
    EXPECT_EQ(parts.host.size(), 255u);
    EXPECT_FALSE(splitUrl(L"http://" + std::wstring(256, L'a') + L"/x", parts));
}

TEST(SplitUrl, PathUpTo4095CharactersFits)
{
    UrlParts parts{};
    ASSERT_TRUE(splitUrl(L"http://h/" + std::wstring(4094, L'p'), parts));
    EXPECT_EQ(parts.pathWithQuery.size(), 4095u);
    EXPECT_FALSE(splitUrl(L"http://h/" + std::wstring(4095, L'p'), parts));
}

TEST(SplitUrl, QueryIsNotCountedInThePathBuffer)
{
    // The query is taken from the URL itself, so a long query after a short
    // path still splits (download links carry long signed queries).
    std::wstring query = L"?sig=" + std::wstring(6000, L'q');
    UrlParts parts{};
    ASSERT_TRUE(splitUrl(L"http://h/file.exe" + query, parts));
    EXPECT_EQ(parts.pathWithQuery, L"/file.exe" + query);
}

TEST(SplitUrl, FailureLeavesTheOutputAlone)
{
    UrlParts parts{true, L"https", L"kept", 1234, L"/kept"};
    EXPECT_FALSE(splitUrl(L"not a url", parts));
    EXPECT_EQ(parts.host, L"kept");
    EXPECT_EQ(parts.port, 1234);
    EXPECT_EQ(parts.pathWithQuery, L"/kept");
}

}  // namespace

// Redirect targets and header numbers, without the network. Platform-free.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "net/http_text.h"

namespace {

UrlParts parts(bool secure, const wchar_t* host, uint16_t port, const wchar_t* pathWithQuery)
{
    return UrlParts{secure, secure ? L"https" : L"http", host, port, pathWithQuery};
}

struct RedirectCase {
    const char* name;
    UrlParts current;
    const wchar_t* location;
    const wchar_t* expected;
};

TEST(RedirectTarget, FollowsTheLocationRules)
{
    const RedirectCase cases[] = {
        {"absolute http", parts(false, L"h", 80, L"/a"), L"http://x:81/y?z=1", L"http://x:81/y?z=1"},
        {"absolute https, any case", parts(false, L"h", 80, L"/a"), L"HTTPS://x/y", L"HTTPS://x/y"},
        {"absolute with scheme case mixed", parts(true, L"h", 443, L"/a"), L"hTtP://x/", L"hTtP://x/"},
        {"bare http:// is not absolute", parts(false, L"h", 80, L"/a/c"), L"http://", L"http://h/a/http://"},
        {"bare https:// is not absolute", parts(false, L"h", 80, L"/a/c"), L"https://", L"http://h/a/https://"},
        {"root-relative, https on 8443 writes the port", parts(true, L"h", 8443, L"/a/c"), L"/x",
         L"https://h:8443/x"},
        {"root-relative, https on 443 omits the port", parts(true, L"h", 443, L"/a/c"), L"/x", L"https://h/x"},
        {"root-relative, http on 80 omits the port", parts(false, L"h", 80, L"/a/c"), L"/x", L"http://h/x"},
        {"root-relative, http on 8080 writes the port", parts(false, L"h", 8080, L"/a/c"), L"/x",
         L"http://h:8080/x"},
        {"port 80 is not the https default", parts(true, L"h", 80, L"/"), L"/x", L"https://h:80/x"},
        {"port 443 is not the http default", parts(false, L"h", 443, L"/"), L"/x", L"http://h:443/x"},
        {"path-relative replaces the last segment", parts(false, L"h", 80, L"/a/c"), L"b", L"http://h/a/b"},
        {"path-relative below a folder", parts(false, L"h", 80, L"/a/c/"), L"b", L"http://h/a/c/b"},
        {"path-relative from the root", parts(false, L"h", 80, L"/c"), L"b?q=1", L"http://h/b?q=1"},
        {"a slash in the query is not a folder", parts(false, L"h", 80, L"/a/c?next=/x/y"), L"b",
         L"http://h/a/b"},
        {"a path without any slash counts as the root", parts(false, L"h", 80, L"c"), L"b", L"http://h/b"},
        {"root-relative keeps its query", parts(false, L"h", 81, L"/a?x"), L"/p?q=/r", L"http://h:81/p?q=/r"},
        {"an IPv6 host gets its brackets", parts(false, L"::1", 8080, L"/a"), L"/b", L"http://[::1]:8080/b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(redirectTarget(c.location, c.current), c.expected) << c.name;
}

struct NumberCase {
    const wchar_t* text;
    int64_t expected;
};

TEST(HeaderNumbers, LeadingDecimalTakesTheDigitsAtTheStart)
{
    const NumberCase cases[] = {
        {L"1000", 1000},
        {L"0", 0},
        {L"  42", 42},
        {L"12abc", 12},
        {L"abc", 0},
        {L"", 0},
        {L"-5", 0},
        {L"9223372036854775807", INT64_MAX},
        {L"9223372036854775808", INT64_MAX},
        {L"99999999999999999999999", INT64_MAX},
        {L"8388608 ", 8388608},
    };
    for (const auto& c : cases) EXPECT_EQ(leadingDecimal(c.text), c.expected) << testing::PrintToString(std::wstring(c.text));
}

TEST(HeaderNumbers, ContentRangeTotalIsTheNumberAfterTheLastSlash)
{
    const NumberCase cases[] = {
        {L"bytes 0-99/1000", 1000},
        {L"bytes */1000", 1000},
        {L"bytes 0-99/*", -1},
        {L"bytes 0-99/", -1},
        {L"bytes 0-99", -1},
        {L"", -1},
        {L"a/b/77", 77},
        {L"bytes 0-0/1", 1},
        {L"bytes 0-99/5000000000", 5000000000LL},
    };
    for (const auto& c : cases) EXPECT_EQ(contentRangeTotal(c.text), c.expected) << testing::PrintToString(std::wstring(c.text));
}

}  // namespace

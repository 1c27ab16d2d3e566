#include "core/text.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

namespace {

// True when the text is one or more U+FFFD and nothing else.
bool onlyReplacementCharacters(const std::wstring& text)
{
    return !text.empty() && text.find_first_not_of(L'\xFFFD') == std::wstring::npos;
}

}  // namespace

TEST(Utf8ToWide, EmptyGivesEmpty)
{
    EXPECT_EQ(utf8ToWide(""), L"");
}

TEST(Utf8ToWide, ConvertsEachSequenceLength)
{
    const struct {
        std::string utf8;
        std::wstring wide;
    } cases[] = {
        {"plain ASCII", L"plain ASCII"},
        {"\xC3\xA9", L"\x00E9"},
        {"\xE8\xBD\xAF\xE4\xBB\xB6", L"\x8F6F\x4EF6"},
        {"\xEF\xBF\xBF", L"\xFFFF"},
        {"\xF0\x9F\x98\x80", L"\xD83D\xDE00"},
        {"\xF4\x8F\xBF\xBF", L"\xDBFF\xDFFF"},
    };
    for (const auto& c : cases) EXPECT_EQ(utf8ToWide(c.utf8), c.wide) << c.utf8;
}

TEST(Utf8ToWide, EmbeddedNulIsConvertedToo)
{
    EXPECT_EQ(utf8ToWide("a\0b"s), L"a\0b"s);
    EXPECT_EQ(utf8ToWide("\0"s), L"\0"s);
}

TEST(Utf8ToWide, SingleInvalidByteBecomesReplacementCharacter)
{
    EXPECT_EQ(utf8ToWide("\xFF"), L"\xFFFD");
    EXPECT_EQ(utf8ToWide("a\xFF" "b"), L"a\xFFFD" L"b");
    EXPECT_EQ(utf8ToWide("\x80"), L"\xFFFD") << "a lone continuation byte";
}

TEST(Utf8ToWide, MalformedSequencesAreReplacedAndTheirNeighboursKept)
{
    const struct {
        std::string bad;
        const char* why;
    } cases[] = {
        {"\xE8\xBD", "a sequence cut short"},
        {"\xC0\xAF", "an overlong slash"},
        {"\xE0\x80\xAF", "an overlong three-byte slash"},
        {"\xED\xA0\xBD", "an encoded surrogate"},
        {"\xF4\x90\x80\x80", "beyond U+10FFFF"},
        {"\xFE", "a byte that never starts a sequence"},
    };
    for (const auto& c : cases) {
        std::wstring wide = utf8ToWide("<" + c.bad + ">");
        ASSERT_GE(wide.size(), 3u) << c.why;
        EXPECT_EQ(wide.front(), L'<') << c.why;
        EXPECT_EQ(wide.back(), L'>') << c.why;
        EXPECT_TRUE(onlyReplacementCharacters(wide.substr(1, wide.size() - 2))) << c.why;
    }
}

TEST(WideToUtf8, EmptyGivesEmpty)
{
    EXPECT_EQ(wideToUtf8(L""), "");
}

TEST(WideToUtf8, ConvertsEachSequenceLength)
{
    EXPECT_EQ(wideToUtf8(L"D:\\\x4E0B\x8F7D"), "D:\\\xE4\xB8\x8B\xE8\xBD\xBD");
    EXPECT_EQ(wideToUtf8(L"\x00E9\x07FF"), "\xC3\xA9\xDF\xBF");
    EXPECT_EQ(wideToUtf8(L"\xD83D\xDE00"), "\xF0\x9F\x98\x80");
}

TEST(WideToUtf8, EmbeddedNulIsConvertedToo)
{
    EXPECT_EQ(wideToUtf8(L"a\0b"s), "a\0b"s);
}

TEST(WideToUtf8, UnpairedSurrogatesAreReplaced)
{
    const struct {
        std::wstring wide;
        std::string utf8;
        const char* why;
    } cases[] = {
        {L"a\xD800", "a\xEF\xBF\xBD", "a high surrogate at the end"},
        {L"\xD800z", "\xEF\xBF\xBDz", "a high surrogate before a letter"},
        {L"\xDC00" L"b", "\xEF\xBF\xBD" "b", "a low surrogate alone"},
        {L"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD", "a pair in the wrong order"},
    };
    for (const auto& c : cases) EXPECT_EQ(wideToUtf8(c.wide), c.utf8) << c.why;
}

TEST(TextRoundTrip, EveryBasicPlaneCharacterSurvivesBothConversions)
{
    std::wstring all;
    for (wchar_t c = 1; c < 0xD800; ++c) all += c;
    for (unsigned c = 0xE000; c <= 0xFFFF; ++c) all += static_cast<wchar_t>(c);
    const std::string utf8 = wideToUtf8(all);
    EXPECT_EQ(utf8.size(), 0x7Fu + 2 * 0x780u + 3 * (0xD800u - 0x800u) + 3 * 0x2000u);
    EXPECT_EQ(utf8ToWide(utf8), all);
}

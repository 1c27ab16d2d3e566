#include <gtest/gtest.h>

#include <string>

#include "install/installed_index.h"

namespace {

struct NormalizeCase {
    const wchar_t* input;
    const wchar_t* expected;
};

const NormalizeCase kNormalizeCases[] = {
    {L"", L""},
    {L"Foo Editor", L"fooeditor"},
    {L"  Foo  ", L"foo"},
    {L"Foo\u3000Editor", L"fooeditor"},
    {L"Foo\tEditor", L"fooeditor"},
    {L" \t\u3000 ", L""},
    // Other white space stays: only space, ideographic space and tab are dropped.
    {L"Foo\u00A0Bar", L"foo\u00A0bar"},
    {L"Foo\nBar", L"foo\nbar"},
    // Punctuation and digits stay.
    {L"Foo-Editor 2.1 (x64)", L"foo-editor2.1(x64)"},
    {L"AZaz@[`{", L"azaz@[`{"},
    // Only ASCII letters fold.
    {L"\uFF26oo", L"\uFF26oo"},
    {L"\u00C4pfel", L"\u00C4pfel"},
    {L"\u4E2D\u6587 App", L"\u4E2D\u6587app"},
};

TEST(NormalizeProgramName, DropsSpacesAndFoldsAsciiLettersOnly)
{
    for (const auto& c : kNormalizeCases) {
        EXPECT_EQ(normalizeProgramName(c.input), std::wstring(c.expected))
            << "input of " << std::wstring(c.input).size() << " units";
    }
}

struct MatchCase {
    const wchar_t* app;
    const wchar_t* display;
    bool matches;
};

const MatchCase kMatchCases[] = {
    {L"Foo Editor", L"FooEditor", true},
    {L"Foo Editor", L"foo editor 2.1 (x64)", true},
    {L"Foo Editor", L"FOO EDITOR", true},
    {L"Foo Editor", L"The Foo Editor", false},
    {L"Foo Editor", L"Foo Editor Professional Edition 2024", false},
    {L"Foo Editor", L"Foo", false},
    {L"Foo\u3000Editor", L"foo\teditor", true},
    {L"\u5FAE\u4FE1", L"\u5FAE\u4FE1 3.9.0.28", true},
    // A fullwidth capital F is not the ASCII letter.
    {L"\uFF26oo", L"Foo", false},
    {L"Foo", L"\uFF26oo", false},
    {L"\uFF26oo", L"\uFF26OO", true},
    // A name that normalises to nothing matches nothing, not even itself.
    {L"", L"", false},
    {L"   ", L"   ", false},
    {L" \t\u3000", L"Foo", false},
    {L"", L"Foo", false},
    // An empty DisplayName never begins with a non-empty name.
    {L"Foo", L"", false},
};

TEST(MatchesInstalledName, FollowsTheNameRule)
{
    for (const auto& c : kMatchCases) {
        EXPECT_EQ(matchesInstalledName(c.app, c.display), c.matches)
            << "app of " << std::wstring(c.app).size() << " units, display name of "
            << std::wstring(c.display).size() << " units";
    }
}

TEST(MatchesInstalledName, AllowsAtMostSixteenExtraUnits)
{
    const std::wstring app = L"Foo";
    EXPECT_TRUE(matchesInstalledName(app, app + std::wstring(15, L'x')));
    EXPECT_TRUE(matchesInstalledName(app, app + std::wstring(16, L'x')));
    EXPECT_FALSE(matchesInstalledName(app, app + std::wstring(17, L'x')));
}

TEST(MatchesInstalledName, CountsTheAllowanceAfterNormalising)
{
    // 16 letters plus spaces: the spaces do not count.
    EXPECT_TRUE(matchesInstalledName(L"Foo", L"Foo " + std::wstring(16, L'x') + L"   "));
    // 17 letters, even with the app name spelt with spaces.
    EXPECT_FALSE(matchesInstalledName(L"F o o", L"Foo" + std::wstring(17, L'x')));
    EXPECT_TRUE(matchesInstalledName(L"F o o", L"Foo" + std::wstring(16, L'X')));
}

TEST(MatchesInstalledName, DisplayNameShorterThanAppNameDoesNotMatch)
{
    EXPECT_FALSE(matchesInstalledName(L"Foo Editor", L"Foo Edito"));
    EXPECT_TRUE(matchesInstalledName(L"Foo Edito", L"Foo Editor"));
}

}  // namespace

#include "download/file_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NameCase {
    const wchar_t* name;
    const wchar_t* stem;
};

void expectStems(const NameCase* cases, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        SCOPED_TRACE(testing::Message() << "case " << i);
        EXPECT_EQ(fileNameFromAppName(cases[i].name), std::wstring(cases[i].stem));
    }
}

}  // namespace

TEST(FileNameFromAppName, DropsEachCharacterWindowsForbids)
{
    const NameCase cases[] = {
        {L"a\"b", L"ab"}, {L"a*b", L"ab"},  {L"a/b", L"ab"},
        {L"a:b", L"ab"},  {L"a<b", L"ab"},  {L"a>b", L"ab"},
        {L"a?b", L"ab"},  {L"a\\b", L"ab"}, {L"a|b", L"ab"},
        {L"C:\\Program Files\\<Foo>?", L"CProgram FilesFoo"},
    };
    expectStems(cases, sizeof cases / sizeof cases[0]);
}

TEST(FileNameFromAppName, KeepsOtherPunctuationAndChinese)
{
    const NameCase cases[] = {
        {L"Foo Editor 1.2 (x64) [beta] #1 & co.", L"Foo Editor 1.2 (x64) [beta] #1 & co."},
        {L"微信 - 电脑版", L"微信 - 电脑版"},
        {L"  leading spaces stay", L"  leading spaces stay"},
        {L"\x7F" L"del", L"\x7F" L"del"},
    };
    expectStems(cases, sizeof cases / sizeof cases[0]);
}

TEST(FileNameFromAppName, DropsEveryControlCharacter)
{
    for (wchar_t c = 0; c < 0x20; ++c) {
        std::wstring name = L"a";
        name.push_back(c);
        name += L"b";
        EXPECT_EQ(fileNameFromAppName(name), L"ab") << "U+" << static_cast<int>(c);
    }
    EXPECT_EQ(fileNameFromAppName(L"Tab\tName\r\n"), L"TabName");
}

TEST(FileNameFromAppName, RemovesTrailingSpacesOnly)
{
    const NameCase cases[] = {
        {L"Foo   ", L"Foo"},
        {L"Foo \t ", L"Foo"},  // the tab goes first, then the spaces it hid
        {L"Foo\x3000", L"Foo\x3000"},  // only U+0020 counts as a space here
        {L"Foo ?", L"Foo"},
        {L"Foo.", L"Foo."},
    };
    expectStems(cases, sizeof cases / sizeof cases[0]);
}

TEST(FileNameFromAppName, NothingLeftGivesApp)
{
    const NameCase cases[] = {
        {L"", L"app"}, {L"   ", L"app"}, {L"\"*/:<>?\\|", L"app"}, {L"? \x01 |  ", L"app"},
    };
    expectStems(cases, sizeof cases / sizeof cases[0]);
}

TEST(FileNameFromAppName, CutsAtFiftyUnits)
{
    std::wstring sixty(60, L'x');
    EXPECT_EQ(fileNameFromAppName(sixty), std::wstring(50, L'x'));
    EXPECT_EQ(fileNameFromAppName(std::wstring(50, L'y')), std::wstring(50, L'y'));
    EXPECT_EQ(fileNameFromAppName(std::wstring(51, L'y')), std::wstring(50, L'y'));

    // Dropped characters do not count towards the limit.
    EXPECT_EQ(fileNameFromAppName(std::wstring(50, L'z') + L"??"), std::wstring(50, L'z'));
    EXPECT_EQ(fileNameFromAppName(L"??" + std::wstring(50, L'z')), std::wstring(50, L'z'));
}

TEST(FileNameFromAppName, CutAfterASpaceKeepsTheSpace)
{
    // Trailing spaces are removed before the cut, never after it.
    std::wstring name = std::wstring(49, L'a') + L" tail";
    EXPECT_EQ(fileNameFromAppName(name), std::wstring(49, L'a') + L" ");
    EXPECT_EQ(fileNameFromAppName(std::wstring(49, L'a') + L" "), std::wstring(49, L'a'));
}

TEST(FileNameFromAppName, DeviceNamesGetALeadingUnderscoreInAnyCase)
{
    const NameCase cases[] = {
        {L"CON", L"_CON"},   {L"con", L"_con"},   {L"Prn", L"_Prn"},   {L"aUx", L"_aUx"},
        {L"nul", L"_nul"},   {L"COM1", L"_COM1"}, {L"com9", L"_com9"}, {L"Lpt1", L"_Lpt1"},
        {L"LPT9", L"_LPT9"}, {L"COM0", L"_COM0"}, {L"lpt0", L"_lpt0"},
        {L"COM\x00B9", L"_COM\x00B9"}, {L"lpt\x00B3", L"_lpt\x00B3"},
    };
    expectStems(cases, sizeof cases / sizeof cases[0]);
}

TEST(FileNameFromAppName, DeviceNameBeforeADotGetsAnUnderscore)
{
    const NameCase cases[] = {
        {L"con.txt", L"_con.txt"},
        {L"NUL.tar.gz", L"_NUL.tar.gz"},
        {L"Com3.", L"_Com3."},
        {L"aux .setup", L"_aux .setup"},  // Windows ignores spaces before the dot
        {L"PRN   ", L"_PRN"},
        {L"C?O|N", L"_CON"},  // a device name that appears once characters are dropped
        {L"L\tPT4.x", L"_LPT4.x"},
    };
    expectStems(cases, sizeof cases / sizeof cases[0]);
}

TEST(FileNameFromAppName, NamesThatOnlyResembleDevicesStayAsTheyAre)
{
    const NameCase cases[] = {
        {L"CONSOLE", L"CONSOLE"}, {L"CON1", L"CON1"},   {L"COM10", L"COM10"}, {L"COM", L"COM"},
        {L"LPT", L"LPT"},         {L"COMA", L"COMA"},   {L" CON", L" CON"},   {L"xNUL", L"xNUL"},
        {L"NULL.txt", L"NULL.txt"}, {L"my.con", L"my.con"}, {L"AUX_", L"AUX_"}, {L"CON-1", L"CON-1"},
        {L"COM\x00B4", L"COM\x00B4"},  // only the superscripts one to three count
    };
    expectStems(cases, sizeof cases / sizeof cases[0]);
}

TEST(FileNameFromAppName, DeviceNameLeftByTheCutIsGuardedWithinFiftyUnits)
{
    // The cut removes the "x" and leaves "CON" followed by spaces: a device.
    std::wstring name = L"CON" + std::wstring(47, L' ') + L"x";
    std::wstring stem = fileNameFromAppName(name);
    EXPECT_EQ(stem, L"_CON" + std::wstring(46, L' '));
    EXPECT_EQ(stem.size(), 50u);

    std::wstring dotted = L"nul." + std::wstring(60, L'q');
    EXPECT_EQ(fileNameFromAppName(dotted), L"_nul." + std::wstring(45, L'q'));
}

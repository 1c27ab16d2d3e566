// What "保存" stores and what the settings footer says. Platform-free.

#include "ui/settings_text.h"

#include <gtest/gtest.h>

TEST(DownloadDirToStore, StripsSeparatorsAndEmptiesDriveRoots)
{
    const struct { const wchar_t* edit; const wchar_t* stored; } cases[] = {
        {L"D:\\Soft\\", L"D:\\Soft"},
        {L"D:\\Soft", L"D:\\Soft"},
        {L"D:\\Soft/\\//", L"D:\\Soft"},
        {L"E:/Apps/", L"E:/Apps"},
        {L"D:\\", L""},
        {L"D:/", L""},
        {L"D:", L""},
        {L"\\\\", L""},
        {L"", L""},
        {L"C:\\a", L"C:\\a"},           // four characters: a folder, kept
        {L"C:\\a\\", L"C:\\a"},
        {L"abc\\", L""},                // three characters once stripped
        {L"\\\\srv\\share\\", L"\\\\srv\\share"},
        {L"D:\\下载\\", L"D:\\下载"},
    };
    for (const auto& c : cases) EXPECT_EQ(downloadDirToStore(c.edit), c.stored) << c.edit;
}

TEST(ShortProductVersion, CutsJustBeforeTheThirdDot)
{
    const struct { const wchar_t* version; const wchar_t* shown; } cases[] = {
        {L"2.5", L"2.5"},
        {L"2.5.1", L"2.5.1"},
        {L"2.5.1.0", L"2.5.1"},
        {L"1.2.3.4.5", L"1.2.3"},
        {L"10.20.30.", L"10.20.30"},
        {L"...", L".."},
        {L"", L""},
        {L"7", L"7"},
    };
    for (const auto& c : cases) EXPECT_EQ(shortProductVersion(c.version), c.shown) << c.version;
}

TEST(SettingsFooterText, CreditThenVersionWhenKnown)
{
    const std::wstring credit = kSettingsCredit;
    ASSERT_FALSE(credit.empty());
    EXPECT_EQ(settingsFooterText(L"2.5.1.0"), credit + L"    版本 v2.5.1");
    EXPECT_EQ(settingsFooterText(L"2.5"), credit + L"    版本 v2.5");
    EXPECT_EQ(settingsFooterText(L""), credit);
}

// DisplayVersion in the snapshot, against the real registry of the test prefix.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "install/installed_index.h"
#include "tests/install/uninstall_registry.h"

namespace {

// The version listed beside the first occurrence of displayName; "<missing>"
// when the name is not listed.
std::wstring versionOf(const InstalledIndex& index, const std::wstring& displayName)
{
    auto it = std::find(index.displayNames.begin(), index.displayNames.end(), displayName);
    if (it == index.displayNames.end()) return L"<missing>";
    const size_t position = static_cast<size_t>(it - index.displayNames.begin());
    if (position >= index.displayVersions.size()) return L"<no version slot>";
    return index.displayVersions[position];
}

class InstalledVersionTest : public ::testing::Test {
protected:
    ScratchUninstallKeys keys;
    const std::wstring token = uniqueToken();

    // An entry with a DisplayName and a DisplayVersion of these exact bytes.
    void makeEntry(const std::wstring& suffix, DWORD type, const void* data, DWORD bytes)
    {
        const std::wstring name = L"PakvaneTest-" + suffix + L"-" + token;
        ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::User, name, suffix + L" " + token));
        ASSERT_TRUE(keys.writeValue(UninstallRoot::User, name, L"DisplayVersion", type, data, bytes));
    }
};

TEST_F(InstalledVersionTest, EachVersionStaysBesideItsName)
{
    ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::Machine64, L"PakvaneTest-A-" + token, L"A " + token));
    ASSERT_TRUE(keys.setDisplayVersion(UninstallRoot::Machine64, L"PakvaneTest-A-" + token, L"1.2.3"));
    ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::Machine32, L"PakvaneTest-B-" + token, L"B " + token));
    // A version without a name adds nothing and shifts nothing.
    ASSERT_TRUE(keys.create(UninstallRoot::User, L"PakvaneTest-C-" + token));
    ASSERT_TRUE(keys.setDisplayVersion(UninstallRoot::User, L"PakvaneTest-C-" + token, L"7.7"));
    ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::User, L"PakvaneTest-D-" + token, L"D " + token));
    ASSERT_TRUE(keys.setDisplayVersion(UninstallRoot::User, L"PakvaneTest-D-" + token, L"v4.5 (build 9)"));

    InstalledIndex index;
    EXPECT_EQ(index.displayVersions.size(), index.displayNames.size());
    EXPECT_EQ(versionOf(index, L"A " + token), L"1.2.3");
    EXPECT_EQ(versionOf(index, L"B " + token), L"");
    EXPECT_EQ(versionOf(index, L"D " + token), L"v4.5 (build 9)");
    EXPECT_EQ(std::count(index.displayVersions.begin(), index.displayVersions.end(), L"7.7"), 0);
}

TEST_F(InstalledVersionTest, OnlyPlainStringVersionsAreRead)
{
    const std::wstring text = L"3.1";
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    makeEntry(L"Expand", REG_EXPAND_SZ, text.c_str(), bytes);
    makeEntry(L"Binary", REG_BINARY, text.c_str(), bytes);
    const DWORD number = 0x00030001;
    makeEntry(L"Dword", REG_DWORD, &number, sizeof(number));

    InstalledIndex index;
    EXPECT_EQ(versionOf(index, L"Expand " + token), L"");
    EXPECT_EQ(versionOf(index, L"Binary " + token), L"");
    EXPECT_EQ(versionOf(index, L"Dword " + token), L"");
}

// The same 512-byte buffer as DisplayName: 255 characters and their NUL fit.
TEST_F(InstalledVersionTest, VersionIsReadWithinTheBufferOnly)
{
    std::wstring fits = L"1.0-";
    fits.resize(255, L'f');
    makeEntry(L"Fits", REG_SZ, fits.c_str(), static_cast<DWORD>((fits.size() + 1) * sizeof(wchar_t)));
    std::wstring tooLong = L"2.0-";
    tooLong.resize(256, L'l');  // 514 bytes with the NUL
    makeEntry(L"Long", REG_SZ, tooLong.c_str(), static_cast<DWORD>((tooLong.size() + 1) * sizeof(wchar_t)));

    InstalledIndex index;
    EXPECT_EQ(versionOf(index, L"Fits " + token), fits);
    EXPECT_EQ(versionOf(index, L"Long " + token), L"");
}

TEST_F(InstalledVersionTest, VersionEndsAtItsFirstNulOrItsStoredLength)
{
    const std::wstring withNul = std::wstring(L"5.6") + L'\0' + L"9.9";
    makeEntry(L"Nul", REG_SZ, withNul.c_str(), static_cast<DWORD>((withNul.size() + 1) * sizeof(wchar_t)));
    const std::wstring bare = L"8.1.2";
    makeEntry(L"Bare", REG_SZ, bare.c_str(), static_cast<DWORD>(bare.size() * sizeof(wchar_t)));

    InstalledIndex index;
    EXPECT_EQ(versionOf(index, L"Nul " + token), L"5.6");
    EXPECT_EQ(versionOf(index, L"Bare " + token), L"8.1.2");
}

}  // namespace

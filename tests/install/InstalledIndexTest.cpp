// The snapshot against the real registry of the test prefix.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/text.h"
#include "install/installed_index.h"
#include "tests/install/uninstall_registry.h"

namespace {

bool hasEntry(const InstalledIndex& index, UninstallRoot root, const std::wstring& name)
{
    return index.entries.count(identityPrefix(root) + name) == 1;
}

size_t countName(const InstalledIndex& index, const std::wstring& displayName)
{
    return static_cast<size_t>(std::count(index.displayNames.begin(), index.displayNames.end(), displayName));
}

// Position of the first occurrence, or the list's size when missing.
size_t positionOf(const InstalledIndex& index, const std::wstring& displayName)
{
    return static_cast<size_t>(std::find(index.displayNames.begin(), index.displayNames.end(), displayName) -
                               index.displayNames.begin());
}

class InstalledIndexTest : public ::testing::Test {
protected:
    ScratchUninstallKeys keys;
    const std::wstring token = uniqueToken();
};

TEST_F(InstalledIndexTest, EntryIdentityCarriesTheLocationPrefix)
{
    const std::wstring name = L"PakvaneTest-" + token;
    ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::User, name, L"Name " + token));

    InstalledIndex index;
    EXPECT_TRUE(hasEntry(index, UninstallRoot::User, name));
    EXPECT_FALSE(hasEntry(index, UninstallRoot::Machine64, name));
    EXPECT_FALSE(hasEntry(index, UninstallRoot::Machine32, name));
    EXPECT_EQ(countName(index, L"Name " + token), 1u);
}

TEST_F(InstalledIndexTest, EntryWithoutDisplayNameStillCountsAsEntry)
{
    const std::wstring name = L"PakvaneTest-" + token;
    InstalledIndex before;
    ASSERT_TRUE(keys.create(UninstallRoot::User, name));

    InstalledIndex after;
    EXPECT_FALSE(hasEntry(before, UninstallRoot::User, name));
    EXPECT_TRUE(hasEntry(after, UninstallRoot::User, name));
    EXPECT_EQ(after.displayNames.size(), before.displayNames.size());
}

TEST_F(InstalledIndexTest, SameSubkeyUnderNativeAndThirtyTwoBitKeysGivesTwoIdentities)
{
    const std::wstring name = L"PakvaneTest-" + token;
    ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::Machine64, name, L"Twin " + token));
    ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::Machine32, name, L"Twin " + token));

    InstalledIndex index;
    EXPECT_TRUE(hasEntry(index, UninstallRoot::Machine64, name));
    EXPECT_TRUE(hasEntry(index, UninstallRoot::Machine32, name));
    EXPECT_FALSE(hasEntry(index, UninstallRoot::User, name));
    // Repeated DisplayNames stay in the list.
    EXPECT_EQ(countName(index, L"Twin " + token), 2u);
}

TEST_F(InstalledIndexTest, LocationsAreReadNativeThenThirtyTwoBitThenUser)
{
    // Subkey names sort the other way round, so a sorted walk would show.
    ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::User, L"PakvaneTest-A-" + token, L"User " + token));
    ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::Machine32, L"PakvaneTest-B-" + token, L"M32 " + token));
    ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::Machine64, L"PakvaneTest-C-" + token, L"M64 " + token));

    InstalledIndex index;
    const size_t m64 = positionOf(index, L"M64 " + token);
    const size_t m32 = positionOf(index, L"M32 " + token);
    const size_t user = positionOf(index, L"User " + token);
    ASSERT_LT(user, index.displayNames.size());
    EXPECT_LT(m64, m32);
    EXPECT_LT(m32, user);
}

TEST_F(InstalledIndexTest, OnlyPlainStringDisplayNamesAreRead)
{
    const std::wstring text = L"Typed " + token;
    const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    ASSERT_TRUE(keys.createWithRawDisplayName(UninstallRoot::User, L"PakvaneTest-Expand-" + token, REG_EXPAND_SZ,
                                              text.c_str(), bytes));
    std::wstring multi = text + L'\0';
    ASSERT_TRUE(keys.createWithRawDisplayName(UninstallRoot::User, L"PakvaneTest-Multi-" + token, REG_MULTI_SZ,
                                              multi.c_str(), bytes + sizeof(wchar_t)));
    ASSERT_TRUE(keys.createWithRawDisplayName(UninstallRoot::User, L"PakvaneTest-Binary-" + token, REG_BINARY,
                                              text.c_str(), bytes));

    InstalledIndex index;
    EXPECT_TRUE(hasEntry(index, UninstallRoot::User, L"PakvaneTest-Expand-" + token));
    EXPECT_TRUE(hasEntry(index, UninstallRoot::User, L"PakvaneTest-Multi-" + token));
    EXPECT_TRUE(hasEntry(index, UninstallRoot::User, L"PakvaneTest-Binary-" + token));
    EXPECT_EQ(countName(index, text), 0u);
}

// The DisplayName buffer holds 512 bytes: 255 characters and their NUL.
TEST_F(InstalledIndexTest, DisplayNameFillingTheBufferIsRead)
{
    std::wstring text = L"Fits " + token;
    text.resize(255, L'x');
    ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::User, L"PakvaneTest-" + token, text));

    InstalledIndex index;
    EXPECT_EQ(countName(index, text), 1u);
}

TEST_F(InstalledIndexTest, DisplayNameLargerThanTheBufferIsNotRead)
{
    const std::wstring head = L"Long " + token;
    std::wstring text = head;
    text.resize(256, L'x');  // 514 bytes with the NUL
    const std::wstring name = L"PakvaneTest-" + token;
    ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::User, name, text));

    InstalledIndex index;
    EXPECT_TRUE(hasEntry(index, UninstallRoot::User, name));
    for (const auto& displayName : index.displayNames)
        EXPECT_NE(displayName.compare(0, head.size(), head), 0) << "read a name of " << displayName.size() << " units";
}

TEST_F(InstalledIndexTest, DisplayNameWithoutNulIsReadToItsStoredLength)
{
    // 256 characters, no terminator: exactly the 512 bytes of the buffer.
    std::wstring text = L"Bare " + token;
    text.resize(256, L'y');
    ASSERT_TRUE(keys.createWithRawDisplayName(UninstallRoot::User, L"PakvaneTest-Bare-" + token, REG_SZ,
                                              text.c_str(), 512));
    ASSERT_EQ(ScratchUninstallKeys::storedDisplayNameBytes(UninstallRoot::User, L"PakvaneTest-Bare-" + token), 512u);
    const std::wstring shortText = L"Short " + token;
    ASSERT_TRUE(keys.createWithRawDisplayName(UninstallRoot::User, L"PakvaneTest-Short-" + token, REG_SZ,
                                              shortText.c_str(),
                                              static_cast<DWORD>(shortText.size() * sizeof(wchar_t))));

    InstalledIndex index;
    EXPECT_EQ(countName(index, text), 1u);
    EXPECT_EQ(countName(index, shortText), 1u);
}

TEST_F(InstalledIndexTest, DisplayNameEndsAtItsFirstNul)
{
    const std::wstring stored = L"Head " + token + L'\0' + L"Tail";
    ASSERT_TRUE(keys.createWithRawDisplayName(UninstallRoot::User, L"PakvaneTest-" + token, REG_SZ, stored.c_str(),
                                              static_cast<DWORD>((stored.size() + 1) * sizeof(wchar_t))));

    InstalledIndex index;
    EXPECT_EQ(countName(index, L"Head " + token), 1u);
}

TEST_F(InstalledIndexTest, EmptyDisplayNameIsListedAsEmpty)
{
    InstalledIndex before;
    ASSERT_TRUE(keys.createWithDisplayName(UninstallRoot::User, L"PakvaneTest-" + token, L""));

    InstalledIndex after;
    EXPECT_EQ(countName(after, L""), countName(before, L"") + 1);
}

TEST_F(InstalledIndexTest, RemovedEntryLeavesTheNextSnapshot)
{
    const std::wstring name = L"PakvaneTest-" + token;
    {
        ScratchUninstallKeys shortLived;
        ASSERT_TRUE(shortLived.createWithDisplayName(UninstallRoot::User, name, L"Gone " + token));
        InstalledIndex during;
        EXPECT_TRUE(hasEntry(during, UninstallRoot::User, name));
    }
    InstalledIndex after;
    EXPECT_FALSE(hasEntry(after, UninstallRoot::User, name));
    EXPECT_EQ(countName(after, L"Gone " + token), 0u);
}

}  // namespace

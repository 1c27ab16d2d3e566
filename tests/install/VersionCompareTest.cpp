#include <gtest/gtest.h>

#include <string>

#include "install/version_compare.h"
#include "net/version_text.h"

namespace {

struct OrderCase {
    const wchar_t* version;
    const wchar_t* reference;
    VersionOrder expected;
};

const OrderCase kOrderCases[] = {
    // Numbers, not text: 10 is after 9.
    {L"1.10", L"1.9", VersionOrder::Newer},
    {L"1.9", L"1.10", VersionOrder::Older},
    {L"10", L"9", VersionOrder::Newer},
    {L"2", L"10", VersionOrder::Older},
    // A missing number counts as 0; leading zeros do not count.
    {L"2", L"2.0", VersionOrder::Same},
    {L"2.0", L"2", VersionOrder::Same},
    {L"2", L"2.1", VersionOrder::Older},
    {L"01.02", L"1.2", VersionOrder::Same},
    {L"0", L"0.0", VersionOrder::Same},
    {L"0.1", L"0", VersionOrder::Newer},
    // Both sides are normalised first: only major and minor take part.
    {L"v1.2.3", L"1.2", VersionOrder::Same},
    {L"1.2.9", L"1.2.10", VersionOrder::Same},
    {L"Version 3,1 beta", L"3.0.5", VersionOrder::Newer},
    {L"build 7.0.1-rc2", L"7", VersionOrder::Same},
    // Digits only.
    {L"20240105", L"20231231", VersionOrder::Newer},
    // Nothing to compare on one side.
    {L"", L"1.0", VersionOrder::Unknown},
    {L"1.0", L"", VersionOrder::Unknown},
    {L"", L"", VersionOrder::Unknown},
    {L"beta", L"1.0", VersionOrder::Unknown},
    {L"1.0", L"...", VersionOrder::Unknown},
    // A fullwidth digit is no ASCII digit: dropped or refused, never misordered.
    {L"\uFF12", L"1", VersionOrder::Unknown},
};

TEST(CompareVersions, OrdersNumberByNumberAfterNormalising)
{
    for (const auto& c : kOrderCases) {
        EXPECT_EQ(compareVersions(c.version, c.reference), c.expected)
            << "version of " << std::wstring(c.version).size() << " units against "
            << std::wstring(c.reference).size();
    }
}

// Numbers far past 64 bits must neither overflow nor compare as text.
TEST(CompareVersions, VeryLongNumbersCompareByValue)
{
    const std::wstring nines(40, L'9');
    const std::wstring one = L"1" + std::wstring(40, L'0');  // nines + 1
    EXPECT_EQ(compareVersions(one, nines), VersionOrder::Newer);
    EXPECT_EQ(compareVersions(nines, one), VersionOrder::Older);
    EXPECT_EQ(compareVersions(L"000" + nines, nines), VersionOrder::Same);
    EXPECT_EQ(compareVersions(L"1." + one, L"1." + nines), VersionOrder::Newer);
    EXPECT_EQ(compareVersions(nines + L".1", nines + L".0"), VersionOrder::Newer);
    const std::wstring huge(5000, L'7');
    EXPECT_EQ(compareVersions(huge + L"8", huge + L"7"), VersionOrder::Newer);
    EXPECT_EQ(compareVersions(huge, huge + L".0"), VersionOrder::Same);
}

}  // namespace

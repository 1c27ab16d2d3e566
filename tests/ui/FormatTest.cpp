#include <gtest/gtest.h>

#include "ui/format.h"

TEST(FormatSize, ThresholdsAndUnits)
{
    const struct { int64_t bytes; const wchar_t* text; } cases[] = {
        {0, L"0 B"},           {-5, L"0 B"},          {1, L"1 B"},
        {1023, L"1023 B"},     {1024, L"1 KB"},       {1535, L"1 KB"},
        {1048575, L"1023 KB"}, {1048576, L"1.0 MB"},  {1572864, L"1.5 MB"},
        {1073741823, L"1024.0 MB"}, {1073741824, L"1.00 GB"},
        {int64_t(5) << 40, L"5120.00 GB"},
    };
    for (const auto& c : cases) EXPECT_EQ(formatSize(c.bytes), c.text) << c.bytes;
}

TEST(FormatSpeed, ThresholdsAndUnits)
{
    const struct { int32_t speed; const wchar_t* text; } cases[] = {
        {0, L""}, {-1, L""}, {1023, L"1023 B/s"}, {1024, L"1 KB/s"},
        {1048576, L"1.0 MB/s"}, {10000000, L"9.5 MB/s"},
    };
    for (const auto& c : cases) EXPECT_EQ(formatSpeed(c.speed), c.text) << c.speed;
}

TEST(FormatMonthDay, EmptyBelowOneAndMonthDayOtherwise)
{
    EXPECT_EQ(formatMonthDay(0), L"");
    EXPECT_EQ(formatMonthDay(-1000), L"");
    // 2024-03-07 12:00 UTC: the same day in every zone within 11 hours of UTC.
    EXPECT_EQ(formatMonthDay(1709812800000LL), L"03-07");
}

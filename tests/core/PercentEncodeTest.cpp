#include "core/text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

TEST(PercentEncode, ChineseTextEncodesEachUtf8Byte)
{
    EXPECT_EQ(percentEncode("\xE8\xBD\xAF\xE4\xBB\xB6", true), "%E8%BD%AF%E4%BB%B6");
    EXPECT_EQ(percentEncode("\xE8\xBD\xAF\xE4\xBB\xB6", false), "%E8%BD%AF%E4%BB%B6");
}

TEST(PercentEncode, TildeIsKeptOnlyWhenAsked)
{
    EXPECT_EQ(percentEncode("a b~c", true), "a%20b~c");
    EXPECT_EQ(percentEncode("a b~c", false), "a%20b%7Ec");
}

TEST(PercentEncode, EmptyStaysEmpty)
{
    EXPECT_EQ(percentEncode("", true), "");
    EXPECT_EQ(percentEncode("", false), "");
}

TEST(PercentEncode, SpaceAndPlusAreNeverLeftAsTheyAre)
{
    EXPECT_EQ(percentEncode("a+b c", true), "a%2Bb%20c");
}

TEST(PercentEncode, EveryByteIsEitherUnreservedOrUpperCaseHex)
{
    const std::string unreserved =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._";
    for (bool keepTilde : {false, true}) {
        for (int b = 0; b < 256; ++b) {
            const char byte = static_cast<char>(b);
            const bool plain = unreserved.find(byte) != std::string::npos || (keepTilde && byte == '~');
            char encoded[4];
            std::snprintf(encoded, sizeof encoded, "%%%02X", b);
            const std::string expected = plain ? std::string(1, byte) : std::string(encoded);
            EXPECT_EQ(percentEncode(std::string(1, byte), keepTilde), expected)
                << "byte " << b << " keepTilde " << keepTilde;
        }
    }
}

TEST(PercentEncode, EmbeddedNulIsEncodedNotAnEnd)
{
    EXPECT_EQ(percentEncode(std::string("a\0b", 3), false), "a%00b");
}

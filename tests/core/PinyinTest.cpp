// The pinyin table written from the Unihan readings, and a name's spelling
// over every choice of readings.

#include "core/pinyin.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> readingsOf(char32_t code)
{
    const PinyinReadings readings = pinyinReadings(code);
    std::vector<std::string> texts;
    for (size_t i = 0; i < readings.count; ++i) texts.push_back(pinyinSyllable(readings.syllables[i]));
    return texts;
}

using Readings = std::vector<std::string>;

TEST(PinyinTable, ReadingsInPresentUseCountCommonFirstAndHistoricalOnesDoNot)
{
    const struct {
        char32_t code;
        Readings readings;
    } cases[] = {
        {U'行', {"xing", "hang"}},   // not heng
        {U'重', {"zhong", "chong"}},  // not tong
        {U'长', {"zhang", "chang"}},
        {U'長', {"zhang", "chang"}},
        {U'大', {"da", "dai"}},  // not tai
        {U'绿', {"lv", "lu"}},
        {U'墨', {"mo"}},
        {U'嗯', {"n", "ng"}},
        // The edges of the first block and of the main block.
        {0x33FF, {}},
        {0x3400, {"qiu"}},
        {0x4DB5, {"chi"}},
        {0x4DB6, {}},
        {0x4E00, {"yi"}},
        {0x9FED, {"ni"}},
        {0x9FEE, {}},
        // Beyond 16 bits; the second has only the big dictionary's first reading.
        {0x20000, {"he"}},
        {0x228F5, {"chu"}},
        {U'A', {}},
        {U'。', {}},
        {0x10FFFF, {}},
    };
    for (const auto& c : cases) EXPECT_EQ(readingsOf(c.code), c.readings) << std::hex << c.code;
}

TEST(PinyinSpelling, KeepsLettersAndDigitsSpellsHanAndDropsTheRest)
{
    const PinyinSpelling qq(L"QQ 音乐·2");
    EXPECT_EQ(qq.full(), L"qqyinle2");
    EXPECT_EQ(qq.initials(), L"qqyl2");
    // A pair of 16-bit units or one 32-bit unit, as wchar_t holds it.
    const std::wstring beyond = sizeof(wchar_t) == 2 ? std::wstring(L"\xD84A\xDCF5") : std::wstring(1, wchar_t(0x228F5));
    EXPECT_EQ(PinyinSpelling(L"a" + beyond).full(), L"achu");
    EXPECT_EQ(PinyinSpelling(L"\xD84A").full(), L"");
}

TEST(PinyinSpelling, EveryChoiceOfReadingsMatchesAndNothingElse)
{
    const PinyinSpelling spelling(L"重行a长");
    const struct {
        const wchar_t* word;
        bool full, fullAtStart, initials, initialsAtStart;
    } cases[] = {
        {L"zhongxingazhang", true, true, false, false},
        {L"chonghangachang", true, true, false, false},
        {L"chongxing", true, true, false, false},
        {L"onghanga", true, false, false, false},
        {L"gach", true, false, false, false},
        {L"hangac", true, false, false, false},
        {L"zhongtong", false, false, false, false},
        {L"chongh", true, true, false, false},
        {L"cha", true, false, true, true},
        {L"chx", false, false, false, false},
        {L"zxaz", false, false, true, true},
        {L"chac", false, false, true, true},
        {L"hac", false, false, true, false},
        {L"tx", false, false, false, false},
        {L"c", true, true, true, true},
        {L"x", true, false, true, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(spelling.fullHas(c.word, false), c.full) << c.word;
        EXPECT_EQ(spelling.fullHas(c.word, true), c.fullAtStart) << c.word;
        EXPECT_EQ(spelling.initialsHave(c.word, false), c.initials) << c.word;
        EXPECT_EQ(spelling.initialsHave(c.word, true), c.initialsAtStart) << c.word;
    }
}

}  // namespace

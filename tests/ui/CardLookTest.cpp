#include <gtest/gtest.h>

#include "ui/card_look.h"

namespace {

ButtonTask taskIn(int32_t state, int64_t received = 0, int64_t size = 0, bool isArchive = false)
{
    ButtonTask task;
    task.state = state;
    task.received = received;
    task.size = size;
    task.isArchive = isArchive;
    return task;
}

}  // namespace

TEST(CardButtonLook, FollowsTheStateTable)
{
    const struct {
        ButtonTask task;
        const wchar_t* label;
        Argb fill;
        Argb hoveredFill;
        TextColor labelColor;
        int overlay;
    } cases[] = {
        {taskIn(0, 0, 100), L"下载中 0%", 0xFFF2F3F5, 0xFFF2F3F5, textRgb(91, 77, 255), 0},
        {taskIn(0, 37, 100), L"下载中 37%", 0xFFF2F3F5, 0xFFF2F3F5, textRgb(91, 77, 255), 37},
        {taskIn(0, 9, 0), L"下载中 0%", 0xFFF2F3F5, 0xFFF2F3F5, textRgb(91, 77, 255), 0},
        {taskIn(1, 100, 100), L"校验中", 0xFFF2F3F5, 0xFFF2F3F5, textRgb(91, 77, 255), 100},
        {taskIn(8, 42, 100), L"已暂停 42%", 0xFFF2F3F5, 0xFFF2F3F5, textRgb(91, 77, 255), 42},
        {taskIn(8, 300, 100), L"已暂停 100%", 0xFFF2F3F5, 0xFFF2F3F5, textRgb(91, 77, 255), 100},
        {taskIn(0, 300, 100), L"下载中 100%", 0xFFF2F3F5, 0xFFF2F3F5, textRgb(91, 77, 255), 100},
        {taskIn(0, -5, 100), L"下载中 0%", 0xFFF2F3F5, 0xFFF2F3F5, textRgb(91, 77, 255), 0},
        // received x 100 would overflow 64 bits.
        {taskIn(0, 3000000000000000000LL, 6000000000000000000LL), L"下载中 50%", 0xFFF2F3F5, 0xFFF2F3F5,
         textRgb(91, 77, 255), 50},
        {taskIn(2, 0, 0, true), L"打开文件夹", 0xFF5B4DFF, 0xFF4B3FDB, textRgb(255, 255, 255), 0},
        {taskIn(7, 0, 0, true), L"打开文件夹", 0xFF5B4DFF, 0xFF4B3FDB, textRgb(255, 255, 255), 0},
        {taskIn(2), L"立即安装", 0xFF5B4DFF, 0xFF4B3FDB, textRgb(255, 255, 255), 0},
        {taskIn(7), L"立即安装", 0xFF5B4DFF, 0xFF4B3FDB, textRgb(255, 255, 255), 0},
        {taskIn(3), L"重试", 0xFF5B4DFF, 0xFF4B3FDB, textRgb(255, 255, 255), 0},
        {taskIn(4), L"重新下载", 0xFF5B4DFF, 0xFF4B3FDB, textRgb(255, 255, 255), 0},
        {taskIn(5), L"已安装", 0x2600B42A, 0x2600B42A, textRgb(0, 180, 42), 0},
        {taskIn(6), L"安装中", 0x2600B42A, 0x2600B42A, textRgb(0, 180, 42), 0},
    };
    for (const auto& c : cases) {
        for (bool hasPackage : {true, false}) {
            CardButtonLook look = cardButtonLook(hasPackage, &c.task, false);
            EXPECT_EQ(look.label, c.label) << c.task.state;
            EXPECT_EQ(look.fill, c.fill) << c.task.state;
            EXPECT_EQ(look.labelColor, c.labelColor) << c.task.state;
            EXPECT_EQ(look.overlayWidth, c.overlay) << c.task.state;
            EXPECT_EQ(cardButtonLook(hasPackage, &c.task, true).fill, c.hoveredFill) << c.task.state;
        }
    }
}

TEST(CardButtonLook, WithoutTaskDependsOnThePackage)
{
    CardButtonLook install = cardButtonLook(true, nullptr, false);
    EXPECT_EQ(install.label, L"安 装");
    EXPECT_EQ(install.fill, 0xFF5B4DFFu);
    EXPECT_EQ(cardButtonLook(true, nullptr, true).fill, 0xFF4B3FDBu);
    CardButtonLook soon = cardButtonLook(false, nullptr, true);
    EXPECT_EQ(soon.label, L"敬请期待");
    EXPECT_EQ(soon.fill, 0xFFF2F3F5u);
    EXPECT_EQ(soon.labelColor, textRgb(178, 186, 198));
}

TEST(IconPlaceholder, ColourByIdOfAnySign)
{
    // RGB(79,70,229): 14 % -> (255-24, 255-25, 255-3); 30 % -> (255-52, 255-55, 255-7).
    PlaceholderLook first = placeholderLook(10, true);
    EXPECT_EQ(first.letter, textRgb(79, 70, 229));
    EXPECT_EQ(first.fill, 0xFFE7E6FCu);
    EXPECT_EQ(first.outline, 0xFFCBC8F8u);
    EXPECT_EQ(placeholderLook(7, true).letter, textRgb(245, 158, 11));
    EXPECT_EQ(placeholderLook(-3, true).letter, textRgb(245, 158, 11));
    EXPECT_EQ(placeholderLook(-5, true).letter, textRgb(79, 70, 229));
    EXPECT_EQ(placeholderLook(4, false).letter, textRgb(79, 70, 229));
}

TEST(IconPlaceholder, LetterIsTheFirstCharacter)
{
    EXPECT_EQ(placeholderLetter(L"编辑器"), L"编");
    EXPECT_EQ(placeholderLetter(L""), L"?");
    EXPECT_EQ(placeholderLetter(L"\U0001F600x"), L"\U0001F600");
}

TEST(CardButtonLook, InstalledRowsComeBeforeThePackageRowsAndTasksWin)
{
    CardButtonLook installed = cardButtonLook(true, nullptr, true, InstalledCard::Installed);
    EXPECT_EQ(installed.label, L"已安装");
    EXPECT_EQ(installed.fill, 0x2600B42Au);
    EXPECT_EQ(installed.labelColor, textRgb(0, 180, 42));
    CardButtonLook updatable = cardButtonLook(true, nullptr, false, InstalledCard::Updatable);
    EXPECT_EQ(updatable.label, L"可更新");
    EXPECT_EQ(updatable.fill, 0xFF5B4DFFu);
    EXPECT_EQ(updatable.labelColor, textRgb(255, 255, 255));
    EXPECT_EQ(cardButtonLook(true, nullptr, true, InstalledCard::Updatable).fill, 0xFF4B3FDBu);
    EXPECT_EQ(cardButtonLook(false, nullptr, false, InstalledCard::Installed).label, L"已安装");
    EXPECT_EQ(cardButtonLook(false, nullptr, false, InstalledCard::None).label, L"敬请期待");
    ButtonTask failed;
    failed.state = 3;
    EXPECT_EQ(cardButtonLook(true, &failed, false, InstalledCard::Installed).label, L"重试");
}

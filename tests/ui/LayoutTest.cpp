#include <gtest/gtest.h>

#include "ui/layout.h"

namespace {

::testing::AssertionResult sameRect(const Rect& got, const Rect& want)
{
    if (got == want) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << got.left << "," << got.top << ")-(" << got.right << ","
                                         << got.bottom << "), want (" << want.left << "," << want.top << ")-("
                                         << want.right << "," << want.bottom << ")";
}

}  // namespace

TEST(GridLayout, ColumnsAndCardWidthFollowTheClientWidth)
{
    const struct { int width; int columns; int cardWidth; } cases[] = {
        {1000, 3, 240}, {1131, 3, 283}, {1132, 4, 209}, {1180, 4, 221}, {1472, 5, 232},
    };
    for (const auto& c : cases) {
        GridLayout g = gridLayout(c.width, 780, true, 8, 0);
        EXPECT_EQ(g.columns, c.columns) << c.width;
        EXPECT_EQ(g.cardWidth, c.cardWidth) << c.width;
    }
}

TEST(GridLayout, CardsSitByColumnAndRowAndMoveWithTheScroll)
{
    GridLayout g = gridLayout(1180, 780, true, 10, 40);
    EXPECT_TRUE(sameRect(cardRect(g, 0), {226, 86, 447, 320}));
    EXPECT_TRUE(sameRect(cardRect(g, 3), {226 + 3 * 235, 86, 226 + 3 * 235 + 221, 320}));
    EXPECT_TRUE(sameRect(cardRect(g, 5), {461, 334, 682, 568}));
    EXPECT_TRUE(sameRect(cardIconRect(cardRect(g, 0)), {294, 102, 378, 186}));
    EXPECT_TRUE(sameRect(cardButtonRect(cardRect(g, 0)), {286, 274, 386, 306}));
    // Without a heading the grid starts higher.
    EXPECT_EQ(cardRect(gridLayout(1180, 780, false, 10, 0), 0).top, 78);
}

TEST(GridLayout, ScrollIsClampedToTheContent)
{
    // 10 cards in 4 columns: 3 rows of 248 px; 744 + 126 - 780 + 14 = 104.
    const struct { int scroll; int clamped; } cases[] = {{-50, 0}, {0, 0}, {60, 60}, {104, 104}, {5000, 104}};
    for (const auto& c : cases) {
        GridLayout g = gridLayout(1180, 780, true, 10, c.scroll);
        EXPECT_EQ(g.maximum, 104);
        EXPECT_EQ(g.scroll, c.clamped) << c.scroll;
    }
    // Content that fits never scrolls.
    EXPECT_EQ(gridLayout(1180, 780, true, 4, 300).scroll, 0);
    EXPECT_EQ(clampScroll(7, -3), 0);
}

TEST(GridLayout, OnlyCardsCrossingTheGridAreVisible)
{
    GridLayout g = gridLayout(1000, 660, true, 30, 300);
    // Row 0 spans 126-300 .. 360-300: its bottom (60) is above the grid top.
    EXPECT_FALSE(cardVisible(g, 0));
    // Row 1 spans 74 .. 308: crosses the top edge.
    EXPECT_TRUE(cardVisible(g, 3));
    // Row 3 starts at 570 < 660; row 4 at 818.
    EXPECT_TRUE(cardVisible(g, 9));
    EXPECT_FALSE(cardVisible(g, 12));
}

TEST(Scrollbar, ThumbHasAMinimumLengthAndTravelsTheTrack)
{
    // Sidebar, 20 rows at H 780: content 954, visible 688, maximum 266.
    SidebarLayout s = sidebarLayout(20, 780, 266);
    EXPECT_EQ(s.maximum, 266);
    EXPECT_TRUE(sameRect(sidebarTrackRect(s), {193, 78, 197, 766}));
    EXPECT_TRUE(sameRect(sidebarThumbRect(s), {193, 78 + 688 - 496, 197, 78 + 688}));
    EXPECT_TRUE(sameRect(sidebarThumbRect(sidebarLayout(20, 780, 0)), {193, 78, 197, 574}));
    // A long list: 208² / 9594 rounds to 4, so the sidebar minimum of 30 holds.
    EXPECT_EQ(sidebarThumbRect(sidebarLayout(200, 300, 0)).height(), 30);

    // Grid: 200 cards in 3 columns at H 660; visible 534; 534² / 16616 = 17 -> 36.
    GridLayout g = gridLayout(1000, 660, true, 200, 1000000);
    Rect thumb = gridThumbRect(g);
    EXPECT_EQ(thumb.height(), 36);
    EXPECT_EQ(thumb.bottom, 660);
    EXPECT_TRUE(sameRect(gridTrackRect(g), {981, 126, 985, 660}));
    EXPECT_EQ(thumbRect(0, 4, 0, 100, 0, 0, 0, 30).height(), 0);  // nothing to scroll
}

TEST(Sidebar, RowsScrollAndTheirZonesAreCutToTheBand)
{
    SidebarLayout s = sidebarLayout(20, 780, 20);
    EXPECT_TRUE(sameRect(sidebarRowRect(s, 0), {12, 58, 188, 100}));
    EXPECT_TRUE(sameRect(sidebarRowZone(s, 0), {12, 78, 188, 100}));
    EXPECT_TRUE(sameRect(sidebarRowRect(s, 2), {12, 154, 188, 196}));
    // Row 14 spans 730..772: its zone stops at H - 14.
    EXPECT_TRUE(sameRect(sidebarRowZone(s, 14), {12, 730, 188, 766}));
    EXPECT_TRUE(sidebarRowVisible(s, 14));
    EXPECT_FALSE(sidebarRowVisible(s, 15));  // top 778 >= 766
    // Scrolled by 100, row 0 (bottom 20) is gone.
    EXPECT_FALSE(sidebarRowVisible(sidebarLayout(20, 780, 100), 0));
    EXPECT_EQ(sidebarLayout(3, 780, 50).scroll, 0);
}

TEST(TitleBar, ButtonsSitAtTheRightEdge)
{
    EXPECT_TRUE(sameRect(windowButtonRect(WindowButton::Minimize, 1180), {1042, 0, 1088, 64}));
    EXPECT_TRUE(sameRect(windowButtonRect(WindowButton::MaximizeRestore, 1180), {1088, 0, 1134, 64}));
    EXPECT_TRUE(sameRect(windowButtonRect(WindowButton::Close, 1180), {1134, 0, 1180, 64}));
    EXPECT_TRUE(sameRect(downloadsButtonRect(1000), {630, 14, 734, 50}));
    EXPECT_TRUE(sameRect(settingsButtonRect(1000), {744, 14, 848, 50}));
    EXPECT_TRUE(sameRect(badgeRect(1180), {898, 10, 922, 34}));
}

TEST(CardNameLine, VersionStaysWholeWhenTheNameIsTooLong)
{
    Rect card{226, 126, 447, 360};  // w 221, inner 205
    NameLine fits = cardNameLine(card, 100, 40, true);
    EXPECT_TRUE(fits.grouped);
    // Group of 145 centred in 205: starts 30 px in.
    EXPECT_TRUE(sameRect(fits.name, {264, 230, 364, 254}));
    EXPECT_TRUE(sameRect(fits.version, {369, 230, 409, 254}));
    // 160 + 40 + 5 = 205 still fits; one pixel more does not.
    EXPECT_TRUE(cardNameLine(card, 160, 40, true).grouped);
    NameLine cut = cardNameLine(card, 161, 40, true);
    EXPECT_FALSE(cut.grouped);
    EXPECT_TRUE(sameRect(cut.version, {399, 230, 439, 254}));
    EXPECT_TRUE(sameRect(cut.name, {234, 230, 394, 254}));
    NameLine alone = cardNameLine(card, 500, 0, false);
    EXPECT_TRUE(sameRect(alone.name, {234, 230, 439, 254}));
    EXPECT_EQ(alone.version.width(), 0);
}

TEST(CardNameLine, AVersionWiderThanTheCardStaysInsideIt)
{
    Rect card{226, 126, 447, 360};  // inner 234..439
    NameLine line = cardNameLine(card, 50, 400, true);
    EXPECT_FALSE(line.grouped);
    EXPECT_TRUE(sameRect(line.version, {234, 230, 439, 254}));
    EXPECT_EQ(line.name.width(), 0);
    // Just as wide as the line: whole, and the name has no room either.
    EXPECT_TRUE(sameRect(cardNameLine(card, 50, 205, true).version, {234, 230, 439, 254}));
}

TEST(TransferPercent, ZeroWithoutATotal)
{
    EXPECT_EQ(transferPercent(37, 100), 37);
    EXPECT_EQ(transferPercent(500, 0), 0);
    EXPECT_EQ(transferPercent(5000000000LL, 10000000000LL), 50);  // beyond 32 bits
    EXPECT_EQ(panelProgressWidth(37, 1180), 230);
    EXPECT_EQ(panelProgressWidth(250, 1180), 622);
}

TEST(DownloadPanel, RowsScrollBelowTheHeader)
{
    // 10 rows: 960 + 158 - 780 + 14 = 352.
    PanelLayout p = panelLayout(1180, 780, 10, 9999);
    EXPECT_EQ(p.maximum, 352);
    EXPECT_EQ(p.scroll, 352);
    EXPECT_EQ(panelRowLine(p, 9), 216 + 864 - 352);
    // The last row's card ends 24 px above the bottom at full scroll.
    EXPECT_EQ(panelRowCard(p, 9).bottom, 756);
    EXPECT_FALSE(panelRowVisible(p, 2));  // 216 + 192 - 352 + 28 = 84 <= 158
    EXPECT_TRUE(panelRowVisible(p, 3));
    PanelLayout top = panelLayout(1180, 780, 10, -20);
    EXPECT_EQ(top.scroll, 0);
    EXPECT_TRUE(sameRect(panelRowCard(top, 0), {220, 158, 1160, 244}));
    EXPECT_TRUE(panelRowVisible(top, 6));   // card top 734 < 780
    EXPECT_FALSE(panelRowVisible(top, 7));  // card top 830
    EXPECT_EQ(panelLayout(1180, 780, 6, 100).maximum, 0);
    EXPECT_TRUE(sameRect(panelThumbRect(top), {1161, 158, 1165, 158 + 622 * 622 / 960}));
}

TEST(DownloadPanel, RowButtonsByState)
{
    const int c = 1180;
    const int y = 216;
    using A = PanelAction;
    const struct {
        int32_t state;
        bool archive;
        std::vector<PanelButton> buttons;
    } cases[] = {
        {0, false, {{{984, 186, 1060, 216}, A::Pause, false}, {{1068, 186, 1144, 216}, A::Cancel, false}}},
        {1, false, {{{1068, 186, 1144, 216}, A::Cancel, false}}},
        {8, false, {{{984, 186, 1060, 216}, A::Cancel, false}, {{1068, 186, 1144, 216}, A::Resume, true}}},
        {2, true, {{{1044, 186, 1144, 216}, A::OpenFolder, false}}},
        {7, true, {{{1044, 186, 1144, 216}, A::OpenFolder, false}}},
        {2, false, {{{982, 186, 1058, 216}, A::OpenFolder, false}, {{1068, 186, 1144, 216}, A::Install, true}}},
        {7, false, {{{982, 186, 1058, 216}, A::OpenFolder, false}, {{1068, 186, 1144, 216}, A::Install, true}}},
        {5, false, {{{1044, 186, 1144, 216}, A::OpenFolder, false}}},
        {6, true, {{{1044, 186, 1144, 216}, A::OpenFolder, false}}},
        {3, false, {{{1068, 186, 1144, 216}, A::Retry, true}}},
        {4, true, {{{1068, 186, 1144, 216}, A::Retry, true}}},
        {9, false, {}},
    };
    for (const auto& k : cases) {
        auto got = panelRowButtons(k.state, k.archive, c, y);
        ASSERT_EQ(got.size(), k.buttons.size()) << k.state;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_TRUE(sameRect(got[i].rect, k.buttons[i].rect)) << k.state << " #" << i;
            EXPECT_EQ(got[i].action, k.buttons[i].action) << k.state << " #" << i;
            EXPECT_EQ(got[i].filled, k.buttons[i].filled) << k.state << " #" << i;
        }
    }
    EXPECT_TRUE(sameRect(panelClearButtonRect(c), {1060, 86, 1156, 112}));
    EXPECT_TRUE(sameRect(panelOpenFolderButtonRect(c), {1078, 120, 1156, 146}));
    EXPECT_TRUE(sameRect(panelChangeFolderButtonRect(c), {992, 120, 1070, 146}));
}

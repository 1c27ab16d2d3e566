// Frames of a search painted off-screen: the results in the grid's place
// under their heading with no category chosen, the one line when nothing is
// found, and the field's look.

#include <gtest/gtest.h>

#include <vector>

#include "tests/ui/frame_harness.h"
#include "ui/palette.h"

namespace {

constexpr Rgb kBackground = 0xF5F6F8;
constexpr Rgb kSidebar = 0xFAFBFD;

std::vector<Rgb> headingStrip(const FrameHarness& f)
{
    std::vector<Rgb> strip;
    for (int x = 212; x < 600; ++x) strip.push_back(f.probe(x, 98));
    return strip;
}

// Whether any pixel of the layout rectangle is near the colour.
bool anyNear(const FrameHarness& f, int left, int top, int right, int bottom, Rgb colour, int tolerance)
{
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            if (closeTo(f.probe(x, y), colour, tolerance)) return true;
    return false;
}

}  // namespace

TEST(SearchPaint, ResultsTakeTheGridsPlaceUnderTheirHeadingWithNoCategoryChosen)
{
    FrameHarness f;
    fillCatalog(f);
    f.paint();
    const std::vector<Rgb> categoryHeading = headingStrip(f);
    ASSERT_TRUE(closeTo(f.probe(30, 130), 0xEEEDFF)) << "the category's row is chosen before";

    f.view.searchText = L"bj";
    f.view.searchResults = {f.catalog.apps[4], f.catalog.apps[0]};  // 105 of another category, then 101
    f.paint("search_results");
    const auto cards = f.zones(HitKind::CardButton);
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_EQ(cards[0].id, 105);
    EXPECT_EQ(cards[1].id, 101);
    // The first card at the grid's top-left (226, 126); its button where a category's first is.
    EXPECT_EQ(cards[0].rect.left, 286);
    EXPECT_EQ(cards[0].rect.top, 314);
    EXPECT_TRUE(closeTo(f.probe(232, 132), 0xFFFFFF));
    EXPECT_TRUE(closeTo(f.probe(cardLeft(2) + 20, 140), kBackground)) << "a third card";
    // Another heading, in the heading's colour and place.
    const std::vector<Rgb> heading = headingStrip(f);
    EXPECT_NE(heading, categoryHeading);
    EXPECT_TRUE(anyNear(f, 212, 86, 400, 110, 0x1D2129, 40));
    EXPECT_TRUE(closeTo(f.probe(30, 130), kSidebar)) << "a category is still chosen";
    EXPECT_TRUE(closeTo(f.probe(13, 147), kSidebar)) << "the accent bar is still drawn";

    // The field emptied: the category as it was.
    f.view.searchText.clear();
    f.paint();
    EXPECT_EQ(headingStrip(f), categoryHeading);
    EXPECT_EQ(f.zones(HitKind::CardButton)[0].id, 101);
}

TEST(SearchPaint, NothingFoundIsOneMutedLineAndNothingElse)
{
    FrameHarness f;
    fillCatalog(f);
    f.view.searchText = L"zzz";
    f.paint("search_nothing_found");
    EXPECT_TRUE(f.zones(HitKind::CardButton).empty());
    // The line is centred across the content area, 184..214.
    EXPECT_TRUE(anyNear(f, 600, 190, 780, 208, 0x86909C, 24));
    EXPECT_FALSE(anyNear(f, 212, 190, 560, 208, 0x86909C, 60)) << "the line is not centred";
    for (int y : {140, 250, 400, 700})
        for (int x : {240, 500, 900, 1150}) EXPECT_TRUE(closeTo(f.probe(x, y), kBackground)) << x << "," << y;
}

TEST(SearchPaint, FieldIsVeiledWithItsPlaceholderUntilTypedInThenWhite)
{
    FrameHarness f;
    fillCatalog(f);
    f.paint("search_field");
    // The veil over the gradient: the band above the field at the same x.
    EXPECT_TRUE(closeTo(f.probe(700, 20), over(kSearchFieldFill, f.probe(700, 8)), 4));
    EXPECT_TRUE(anyNear(f, 510, 22, 580, 38, 0xE2E0FF, 30)) << "no placeholder";
    EXPECT_TRUE(f.zones(HitKind::SearchClear).empty());

    f.view.searchFocused = true;
    f.view.searchText = L"bj";
    f.paint("search_field_focused");
    EXPECT_TRUE(closeTo(f.probe(700, 20), 0xFFFFFF));
    ASSERT_EQ(f.zones(HitKind::SearchClear).size(), 1u);
    EXPECT_TRUE(closeTo(f.probe(kFrameWidth - 406, 25), 0xC9CDD4, 6)) << "the clear glyph's disc";
}

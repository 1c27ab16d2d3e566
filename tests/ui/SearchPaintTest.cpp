// Frames of a search painted off-screen: the results in the grid's place
// under their heading with no category chosen; one line when nothing is found.

#include <gtest/gtest.h>

#include <vector>

#include "tests/ui/frame_harness.h"
#include "ui/palette.h"

namespace {

constexpr Rgb kBackground = 0xF5F6F8;

std::vector<Rgb> headingStrip(const FrameHarness& f)
{
    std::vector<Rgb> strip;
    for (int x = 212; x < 600; ++x) strip.push_back(f.probe(x, 98));
    return strip;
}

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
    f.view.searchText = L"bj";
    f.view.searchResults = {f.catalog.apps[4], f.catalog.apps[0]};  // 105 of another category, then 101
    f.paint("search_results");
    const auto cards = f.zones(HitKind::CardButton);
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_EQ(cards[0].id, 105);
    EXPECT_EQ(cards[1].id, 101);
    // The first card at the grid's top-left (226, 126), its button where a category's first is.
    EXPECT_EQ(cards[0].rect.left, 286);
    EXPECT_EQ(cards[0].rect.top, 314);
    EXPECT_TRUE(closeTo(f.probe(232, 132), 0xFFFFFF));
    EXPECT_NE(headingStrip(f), categoryHeading);
    EXPECT_TRUE(anyNear(f, 212, 86, 400, 110, 0x1D2129, 40)) << "no heading in the primary colour";
    EXPECT_TRUE(closeTo(f.probe(30, 130), 0xFAFBFD)) << "a category is still chosen";
    // The field: a veil over the band, white while typed in.
    EXPECT_TRUE(closeTo(f.probe(700, 20), over(kSearchFieldFill, f.probe(700, 8)), 4));
    f.view.searchFocused = true;
    f.paint();
    EXPECT_TRUE(closeTo(f.probe(700, 20), 0xFFFFFF));

    f.view.searchText = L" ";  // blank: the category as it was
    f.paint();
    EXPECT_EQ(headingStrip(f), categoryHeading);
    EXPECT_TRUE(closeTo(f.probe(30, 130), 0xEEEDFF));
}

TEST(SearchPaint, NothingFoundIsOneMutedLineAndNothingElse)
{
    FrameHarness f;
    fillCatalog(f);
    f.view.searchText = L"zzz";
    f.paint("search_nothing_found");
    EXPECT_TRUE(f.zones(HitKind::CardButton).empty());
    // Centred across the content area, 184..214.
    EXPECT_TRUE(anyNear(f, 600, 190, 780, 208, 0x86909C, 24));
    EXPECT_FALSE(anyNear(f, 212, 190, 560, 208, 0x86909C, 60)) << "the line is not centred";
    for (int y : {140, 250, 400, 700})
        for (int x : {240, 500, 900, 1150}) EXPECT_TRUE(closeTo(f.probe(x, y), kBackground)) << x << "," << y;
}

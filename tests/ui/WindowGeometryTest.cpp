#include <gtest/gtest.h>

#include <vector>

#include "ui/window_geometry.h"

TEST(MainWindowPlacement, CentredOnLargeScreensInsetOnSmallOnes)
{
    const struct { int sw, sh; WindowPlacement expected; } cases[] = {
        {1920, 1080, {370, 150, 1180, 780}},
        {1280, 800, {50, 30, 1180, 740}},
        {1199, 819, {30, 30, 1139, 759}},
        {1200, 820, {10, 20, 1180, 780}},
        {1201, 821, {10, 20, 1180, 780}},  // halves by shift: 600 - 590, 410 - 390
        {1024, 768, {30, 30, 964, 708}},
    };
    for (const auto& c : cases) {
        WindowPlacement p = mainWindowPlacement(c.sw, c.sh);
        EXPECT_EQ(p.x, c.expected.x) << c.sw;
        EXPECT_EQ(p.y, c.expected.y) << c.sh;
        EXPECT_EQ(p.width, c.expected.width) << c.sw;
        EXPECT_EQ(p.height, c.expected.height) << c.sh;
    }
}

TEST(NonClientHit, BandsAlongLeftRightAndBottomNoTopEdge)
{
    const int cw = 1180, ch = 740;
    const struct { int x, y; bool inZone; NonClientHit expected; } cases[] = {
        {0, 739, false, NonClientHit::BottomLeft},
        {6, 734, false, NonClientHit::BottomLeft},
        {7, 734, false, NonClientHit::Bottom},
        {1173, 734, false, NonClientHit::Bottom},
        {1174, 734, false, NonClientHit::BottomRight},
        {500, 733, false, NonClientHit::Client},
        {6, 400, false, NonClientHit::Left},
        {7, 400, false, NonClientHit::Client},
        {1174, 400, false, NonClientHit::Right},
        {1173, 400, false, NonClientHit::Client},
        // Edge bands win over buttons; the top edge never resizes.
        {1176, 10, true, NonClientHit::Right},
        {3, 0, false, NonClientHit::Left},
        {500, 0, false, NonClientHit::Caption},
        {500, 63, false, NonClientHit::Caption},
        {500, 64, false, NonClientHit::Client},
        {1150, 20, true, NonClientHit::Client},
        {500, 63, true, NonClientHit::Client},
        {500, 100, true, NonClientHit::Client},
    };
    for (const auto& c : cases)
        EXPECT_EQ(nonClientHit(c.x, c.y, cw, ch, c.inZone), c.expected) << c.x << "," << c.y;
}

TEST(WheelTarget, SidebarBelowTheTitleBarElseThePage)
{
    const struct { int x, y; bool downloads; WheelTarget expected; } cases[] = {
        {199, 65, false, WheelTarget::Sidebar},
        {199, 65, true, WheelTarget::Sidebar},
        {200, 65, false, WheelTarget::Grid},
        {100, 64, false, WheelTarget::Grid},
        {100, 64, true, WheelTarget::Panel},
        {600, 400, true, WheelTarget::Panel},
        {600, 400, false, WheelTarget::Grid},
    };
    for (const auto& c : cases) EXPECT_EQ(wheelTarget(c.x, c.y, c.downloads), c.expected) << c.x << "," << c.y;
}

TEST(CatalogArrival, KeepsAnExistingSelectionOnTheCatalogPageOnly)
{
    const std::vector<std::wstring> ids = {L"tools", L"media"};
    const struct { bool catalogPage; const wchar_t* current; std::vector<std::wstring> ids; const wchar_t* expected; }
        cases[] = {
            {true, L"media", ids, L"media"},
            {true, L"gone", ids, L"tools"},
            {true, L"", ids, L"tools"},
            {true, L"media", {}, L""},
            {false, L"media", ids, L"tools"},
            {false, L"media", {}, L""},
        };
    for (const auto& c : cases) {
        CategorySelection s = selectionAfterCatalogArrival(c.catalogPage, c.current, c.ids);
        EXPECT_TRUE(s.catalogPage);
        EXPECT_EQ(s.categoryId, c.expected) << c.catalogPage << " " << c.current;
    }
}

TEST(ShadowRing, AlphaFadesAndTheLastRingIsSkipped)
{
    const int expectedAlpha[kShadowRings] = {64, 57, 50, 44, 38, 33, 28, 23, 19, 16, 12, 9, 7, 4, 3, 1, 0, 0};
    for (int i = 0; i < kShadowRings; ++i) EXPECT_EQ(shadowRing(i, 100, 50).alpha, expectedAlpha[i]) << i;
}

TEST(ShadowRing, RingsGrowOutwardFromJustOutsideTheWindow)
{
    // The window covers (18, 18)-(18 + w, 18 + h) of the shadow bitmap.
    ShadowRing inner = shadowRing(0, 1180, 740);
    EXPECT_FLOAT_EQ(inner.left, 17);
    EXPECT_FLOAT_EQ(inner.top, 17);
    EXPECT_FLOAT_EQ(inner.right, 1199);
    EXPECT_FLOAT_EQ(inner.bottom, 759);
    EXPECT_FLOAT_EQ(inner.radius, 15);
    ShadowRing outer = shadowRing(17, 1180, 740);
    EXPECT_FLOAT_EQ(outer.left, 0);
    EXPECT_FLOAT_EQ(outer.right, 1180 + 36);
    EXPECT_FLOAT_EQ(outer.bottom, 740 + 36);
    EXPECT_FLOAT_EQ(outer.radius, 32);
}

TEST(PremultiplyAlpha, ScalesOnlyPartlyTransparentPixels)
{
    std::vector<uint8_t> pixels = {
        0x30, 0x22, 0x1E, 64,    // shadow colour at alpha 64
        200, 100, 50, 0,         // fully transparent: untouched
        200, 100, 50, 255,       // opaque: untouched
        255, 255, 255, 1,        // 255 x 1 / 255 = 1
        255, 128, 7, 254,        // 128 x 254 / 255 = 127, 7 x 254 / 255 = 6
    };
    premultiplyAlpha(pixels.data(), pixels.size() / 4);
    const std::vector<uint8_t> expected = {
        12, 8, 7, 64,
        200, 100, 50, 0,
        200, 100, 50, 255,
        1, 1, 1, 1,
        254, 127, 6, 254,
    };
    EXPECT_EQ(pixels, expected);
}

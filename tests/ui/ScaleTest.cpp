#include <gtest/gtest.h>

#include "ui/scale.h"
#include "ui/window_geometry.h"

TEST(Scale, LengthsOfTheDesignAtCommonScales)
{
    // Design lengths at 100 % and what they become: halves round away from zero.
    const struct { int dpi; int design; int pixels; } cases[] = {
        {96, 46, 46},     {96, 13, 13},     {96, -7, -7},
        {120, 46, 58},    {120, 13, 16},    {120, 6, 8},     {120, 7, 9},    {120, 1180, 1475},
        {144, 46, 69},    {144, 64, 96},    {144, 13, 20},   {144, 7, 11},   {144, -7, -11},
        {144, 1180, 1770}, {144, 478, 717}, {144, 272, 408}, {144, 84, 126},
        {168, 14, 25},    {192, 14, 28},    {192, 1180, 2360},
    };
    for (const auto& c : cases) EXPECT_EQ(Scale::forDpi(c.dpi).px(c.design), c.pixels) << c.dpi << " " << c.design;
    // Edges convert one by one: touching rectangles keep touching.
    const Scale s = Scale::forDpi(120);
    EXPECT_EQ(s.px(Rect{0, 0, 7, 13}).right, s.px(Rect{7, 0, 20, 13}).left);
    EXPECT_EQ(Scale::forDpi(0).dpi, 96);
}

TEST(Scale, PensClientSizesAndPointerDistances)
{
    const Scale s = Scale::forDpi(144);
    EXPECT_FLOAT_EQ(s.pen(1.0f), 2.0f);  // a whole pixel stays whole
    EXPECT_FLOAT_EQ(s.pen(1.6f), 2.4f);
    EXPECT_FLOAT_EQ(s.pxf(15.0f), 22.5f);
    // The layout covers every pixel of an odd client width.
    EXPECT_EQ(s.covering(1770), 1180);
    EXPECT_EQ(s.covering(1771), 1181);
    EXPECT_EQ(s.logical(69), 46);
    EXPECT_EQ(Scale().covering(1771), 1771);
}

TEST(MainWindowPlacement, ScaledInTheWorkArea)
{
    const struct { WorkArea area; int dpi; WindowPlacement expected; } cases[] = {
        // 150 % on 2560 x 1600 without a taskbar.
        {{0, 0, 2560, 1600}, 144, {395, 215, 1770, 1170}},
        // A taskbar of 60 px at the bottom: centred in what is left.
        {{0, 0, 2560, 1540}, 144, {395, 185, 1770, 1170}},
        // Too small at 150 % (1800 x 1230 needed): 45 px in, 90 px smaller.
        {{0, 0, 1600, 900}, 144, {45, 45, 1510, 810}},
        // A second monitor left of the first and below a top taskbar.
        {{-1920, 40, 1920, 1040}, 96, {-1550, 170, 1180, 780}},
        // 200 %: 1600 px are fewer than 820 units need.
        {{0, 0, 2560, 1600}, 192, {100, 60, 2360, 1480}},
    };
    for (const auto& c : cases) {
        WindowPlacement p = mainWindowPlacement(c.area, Scale::forDpi(c.dpi));
        EXPECT_EQ(p.x, c.expected.x) << c.dpi << " " << c.area.width;
        EXPECT_EQ(p.y, c.expected.y) << c.dpi << " " << c.area.height;
        EXPECT_EQ(p.width, c.expected.width) << c.dpi << " " << c.area.width;
        EXPECT_EQ(p.height, c.expected.height) << c.dpi << " " << c.area.height;
    }
}

TEST(NonClientHit, BandsScaleAndAMaximisedWindowHasNone)
{
    const Scale s = Scale::forDpi(144);
    const int cw = 1770, ch = 1170;
    const struct { int x, y; bool maximized; NonClientHit expected; } cases[] = {
        {10, 500, false, NonClientHit::Left},  // 7 units are 11 px
        {11, 500, false, NonClientHit::Client},
        {cw - 9, 500, false, NonClientHit::Right},  // 6 units are 9 px
        {cw - 10, 500, false, NonClientHit::Client},
        {500, ch - 9, false, NonClientHit::Bottom},
        {500, 95, false, NonClientHit::Caption},  // the title band is 96 px high
        {500, 96, false, NonClientHit::Client},
        {2, 500, true, NonClientHit::Client},
        {cw - 1, 500, true, NonClientHit::Client},
        {500, ch - 1, true, NonClientHit::Client},
        {2, 10, true, NonClientHit::Caption},
    };
    for (const auto& c : cases)
        EXPECT_EQ(nonClientHit(c.x, c.y, cw, ch, false, s, c.maximized), c.expected) << c.x << "," << c.y;
    EXPECT_EQ(wheelTarget(299, 97, false, s), WheelTarget::Sidebar);
    EXPECT_EQ(wheelTarget(300, 97, false, s), WheelTarget::Grid);
}

TEST(ShadowRing, RingsScaleWithTheWindow)
{
    // At 150 % the margin is 27 px: ring 0 is inset 25.5 px with radius 22.5.
    ShadowRing inner = shadowRing(0, 1770, 1170, Scale::forDpi(144));
    EXPECT_FLOAT_EQ(inner.left, 25.5f);
    EXPECT_FLOAT_EQ(inner.right, 1770 + 54 - 25.5f);
    EXPECT_FLOAT_EQ(inner.bottom, 1170 + 54 - 25.5f);
    EXPECT_FLOAT_EQ(inner.radius, 22.5f);
    EXPECT_EQ(inner.alpha, shadowRing(0, 100, 50).alpha);
}

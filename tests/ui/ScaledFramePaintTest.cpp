// The frames of the 100 % probes painted at 150 % and 200 %: the same colours
// at the same places in layout units, zones at their places times the scale,
// text drawn with fonts that grew as much.

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/ui/frame_harness.h"

namespace {

constexpr Rgb kAccentRgb = 0x5B4DFF;
constexpr Rgb kBackground = 0xF5F6F8;
constexpr Rgb kTrack = 0xF0F1F4;

struct Probe {
    int x, y;  // layout units
    Rgb colour;
    const char* what;
};

void expectProbes(const FrameHarness& f, const std::vector<Probe>& probes)
{
    for (const Probe& p : probes) EXPECT_TRUE(closeTo(f.probe(p.x, p.y), p.colour, 4)) << p.what;
}

// The zone of a kind and id in pixels, or an empty rectangle.
Rect zonePixels(const FrameHarness& f, HitKind kind, int32_t id)
{
    for (const auto& zone : f.zones(kind))
        if (zone.id == id) return {zone.rect.left, zone.rect.top, zone.rect.right, zone.rect.bottom};
    return {};
}

// Rows of rect (pixels) holding text of a colour: how tall the drawn text is.
int textHeight(const FrameHarness& f, const Rect& rect, Rgb colour)
{
    int top = rect.bottom, bottom = rect.top;
    for (int y = rect.top; y < rect.bottom; ++y)
        for (int x = rect.left; x < rect.right; ++x)
            if (closeTo(f.pixel(x, y), colour, 40)) {
                top = std::min(top, y);
                bottom = std::max(bottom, y + 1);
                break;
            }
    return std::max(0, bottom - top);
}

class ScaledFrame : public testing::TestWithParam<int> {};

}  // namespace

TEST_P(ScaledFrame, CatalogPageColoursSitAtTheirScaledPlaces)
{
    FrameHarness f(GetParam());
    fillCatalog(f);
    f.paint(GetParam() == 144 ? "catalog_150" : "catalog_200");
    expectProbes(f, {
        {0, 2, 0x4F46E5, "gradient start"},
        {1179, 2, 0x7C3AED, "gradient end"},
        {30, 130, 0xEEEDFF, "selected row"},
        {13, 147, kAccentRgb, "accent bar"},
        {16, 147, 0xEEEDFF, "right of the accent bar"},
        {30, 82, 0xFAFBFD, "plain row"},
        {cardLeft(0) + 64, 330, kAccentRgb, "install button"},
        {cardLeft(1) + 64, 330, over(0x2600B42A, 0xFFFFFF), "installed button"},
        {cardLeft(2) + 64, 330, 0xF2F3F5, "coming-soon button"},
        {cardLeft(3) + 60 + 20, 316, over(0x465B4DFF, 0xF2F3F5), "37 % overlay"},
        {cardLeft(3) + 60 + 60, 316, 0xF2F3F5, "beyond the overlay"},
        {kFrameWidth - 278, 22, 0xF53F3F, "badge"},
    });
    const Scale& s = f.scale();
    EXPECT_EQ(zonePixels(f, HitKind::Close, 0), s.px(Rect{kFrameWidth - 46, 0, kFrameWidth, 64}));
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(zonePixels(f, HitKind::CardButton, 101 + k), s.px(Rect{cardLeft(k) + 60, 314, cardLeft(k) + 160, 346}))
            << k;
}

TEST_P(ScaledFrame, DownloadPageColoursAndZonesSitAtTheirScaledPlaces)
{
    FrameHarness f(GetParam());
    fillTasks(f);
    f.paint(GetParam() == 144 ? "downloads_150" : "downloads_200");
    const int c = kFrameWidth;
    expectProbes(f, {
        {310, line(0) - 9, kAccentRgb, "progress fill"},
        {298 + 226, line(0) - 9, kAccentRgb, "end of the 37 % fill"},
        {298 + 234, line(0) - 9, kTrack, "track beyond the fill"},
        {600, line(1) - 9, 0x00B42A, "finished track"},
        {600, line(2) - 9, over(0x46F53F3F, kTrack), "failed track"},
        {230, line(0), 0xFFFFFF, "row card"},
        {210, line(0), kBackground, "beside the row card"},
        {c - 74, line(1) - 27, kAccentRgb, "filled install button"},
        {c - 160, line(1) - 27, 0xFFFFFF, "outlined open-folder button"},
    });
    const Scale& s = f.scale();
    EXPECT_EQ(zonePixels(f, HitKind::PanelCancel, 1), s.px(Rect{c - 112, line(0) - 30, c - 36, line(0)}));
    EXPECT_EQ(zonePixels(f, HitKind::PanelInstall, 2), s.px(Rect{c - 112, line(1) - 30, c - 36, line(1)}));
    EXPECT_EQ(zonePixels(f, HitKind::PanelChangeFolder, 0), s.px(Rect{c - 188, 120, c - 110, 146}));
}

TEST_P(ScaledFrame, TextGrowsWithTheScale)
{
    FrameHarness plain;
    FrameHarness scaled(GetParam());
    fillCatalog(plain);
    fillCatalog(scaled);
    plain.paint();
    scaled.paint();
    // The page heading (20 px bold at 100 %) in its band (212, 78)-(1168, 118).
    const Rect band{212, 78, 1168, 118};
    const int at100 = textHeight(plain, band, 0x1D2129);
    const int grown = textHeight(scaled, scaled.scale().px(band), 0x1D2129);
    ASSERT_GT(at100, 10);
    EXPECT_NEAR(grown, at100 * GetParam() / 96, 2) << at100;
}

INSTANTIATE_TEST_SUITE_P(At150And200Percent, ScaledFrame, testing::Values(144, 192));

TEST(PressAndFocusPaint, HeldButtonDarkensAndTheKeyboardFocusHasARing)
{
    for (int dpi : {96, 144}) {
        FrameHarness f(dpi);
        fillCatalog(f);
        const int left = cardLeft(0) + 60;
        f.view.press = {{HitKind::CardButton, 101}, true};
        f.paint();
        EXPECT_TRUE(closeTo(f.probe(left + 4, 330), over(0x26000000, kAccentRgb))) << dpi;
        // Moved off while held: the ordinary look.
        f.view.press.inside = false;
        f.view.focus = {HitKind::CardButton, 101};
        f.view.focusVisible = true;
        f.paint(dpi == 96 ? "focus_ring" : "focus_ring_150");
        EXPECT_TRUE(closeTo(f.probe(left + 4, 330), kAccentRgb)) << dpi;
        // The ring: 2 units wide, 2 units outside the button.
        EXPECT_TRUE(closeTo(f.probe(left - 2, 330), kAccentRgb, 40)) << dpi;
        f.view.focusVisible = false;
        f.paint();
        EXPECT_TRUE(closeTo(f.probe(left - 2, 330), 0xFFFFFF, 4)) << dpi;
    }
}

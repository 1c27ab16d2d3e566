#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "tests/ui/frame_harness.h"
#include "ui/gdi_guards.h"
#include "ui/palette.h"

namespace {

constexpr Rgb kBackground = 0xF5F6F8;
constexpr Rgb kWhite = 0xFFFFFF;
constexpr Rgb kAccentRgb = 0x5B4DFF;


}  // namespace

TEST(CatalogPaint, TitleBarGradientLogoAndWindowButtons)
{
    FrameHarness f;
    fillCatalog(f);
    f.paint("titlebar");
    EXPECT_TRUE(closeTo(f.pixel(0, 2), 0x4F46E5, 4));
    EXPECT_TRUE(closeTo(f.pixel(kFrameWidth - 1, 2), 0x7C3AED, 4));
    // Fallback logo: white at 0x46 over the gradient near its left end.
    EXPECT_TRUE(closeTo(f.pixel(25, 32), over(0x46FFFFFF, f.pixel(20, 32)), 6));
    // Close button hovered: its red fill; not hovered: the gradient.
    EXPECT_FALSE(closeTo(f.pixel(kFrameWidth - 40, 8), 0xE83F4F, 20));
    f.hover(HitKind::Close);
    f.paint("titlebar_close_hover");
    EXPECT_TRUE(closeTo(f.pixel(kFrameWidth - 40, 8), 0xE83F4F));
    // The restore glyph's corner line appears only when maximised.
    Rgb flat = f.pixel(kFrameWidth - 64, 30);
    f.maximized = true;
    f.paint("titlebar_maximized");
    EXPECT_FALSE(closeTo(f.pixel(kFrameWidth - 64, 30), flat, 30));
}

TEST(Logo, DecodedImageOutlivesItsBytes)
{
    std::ifstream file(std::string(std::getenv("PAKVANE_TEST_SOURCE")) + "/tests/fixtures/icons/red16.png",
                       std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(bytes.empty());
    Gdiplus::GpBitmap* logo = decodeLogo(bytes.data(), static_cast<DWORD>(bytes.size()));
    ASSERT_NE(logo, nullptr);
    bytes.assign(bytes.size(), '\0');
    UINT width = 0;
    Gdiplus::ARGB colour = 0;
    Gdiplus::DllExports::GdipGetImageWidth(logo, &width);
    Gdiplus::DllExports::GdipBitmapGetPixel(logo, 8, 8, &colour);
    EXPECT_EQ(width, 16u);
    EXPECT_EQ(colour & 0xFFFFFF, 0xFF0000u);
    Gdiplus::DllExports::GdipDisposeImage(logo);
    std::string junk = "not an image";
    EXPECT_EQ(decodeLogo(junk.data(), static_cast<DWORD>(junk.size())), nullptr);
}

TEST(CatalogPaint, LoadedLogoReplacesTheFallback)
{
    FrameHarness f;
    static uint32_t green[48 * 48];
    for (auto& p : green) p = 0xFF00C000;
    Gdiplus::GpBitmap* logo = nullptr;
    ASSERT_EQ(Gdiplus::DllExports::GdipCreateBitmapFromScan0(48, 48, 48 * 4, PixelFormat32bppARGB,
                                                             reinterpret_cast<BYTE*>(green), &logo),
              Gdiplus::Ok);
    f.view.logo = logo;
    f.view.logoState = LogoState::Loaded;
    f.paint();
    EXPECT_TRUE(closeTo(f.pixel(46, 32), 0x00C000, 6));
    EXPECT_TRUE(closeTo(f.pixel(23, 9), 0x00C000, 6));  // square: no rounded corner
    Gdiplus::DllExports::GdipDisposeImage(logo);
}

TEST(CatalogPaint, BadgeCountsRunningDownloads)
{
    FrameHarness f;
    fillCatalog(f);
    f.paint();
    Rgb badgeSpot = f.pixel(kFrameWidth - 278, 22);
    EXPECT_TRUE(closeTo(badgeSpot, 0xF53F3F));
    f.tasks.erase(104);
    f.paint();
    EXPECT_FALSE(closeTo(f.pixel(kFrameWidth - 278, 22), 0xF53F3F, 40));
}

TEST(CatalogPaint, SidebarSelectionAccentBarAndHover)
{
    FrameHarness f;
    fillCatalog(f);
    f.hover(HitKind::CategoryRow, 2);
    f.paint("sidebar");
    // Row 1 (126..168) is selected: fill and a 3 px accent bar at x 12..14.
    EXPECT_TRUE(closeTo(f.pixel(30, 130), 0xEEEDFF));
    EXPECT_TRUE(closeTo(f.pixel(13, 147), kAccentRgb));
    EXPECT_TRUE(closeTo(f.pixel(16, 147), 0xEEEDFF));
    EXPECT_TRUE(closeTo(f.pixel(30, 82), 0xFAFBFD));   // row 0: plain
    EXPECT_TRUE(closeTo(f.pixel(30, 180), 0xF2F3F5));  // row 2: hovered
    auto rows = f.zones(HitKind::CategoryRow);
    ASSERT_EQ(rows.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(rows[i].id, i);
        EXPECT_EQ(rows[i].rect.top, 78 + 48 * i);
        EXPECT_EQ(rows[i].rect.left, 12);
        EXPECT_EQ(rows[i].rect.right, 188);
    }
    // No row is selected on the download-manager page.
    f.view.page = Page::Downloads;
    f.paint();
    EXPECT_TRUE(closeTo(f.pixel(30, 130), 0xFAFBFD));
}

TEST(CatalogPaint, CardButtonFillFollowsTheTask)
{
    FrameHarness f;
    fillCatalog(f);
    f.paint("catalog");
    // Buttons span card left + 60 .. + 160, y 314..346; sample beside the label.
    const int y = 330;
    EXPECT_TRUE(closeTo(f.pixel(cardLeft(0) + 64, y), kAccentRgb));
    EXPECT_TRUE(closeTo(f.pixel(cardLeft(1) + 64, y), over(0x2600B42A, kWhite)));
    EXPECT_TRUE(closeTo(f.pixel(cardLeft(2) + 64, y), 0xF2F3F5));
    // Hovering the install button darkens it.
    f.hover(HitKind::CardButton, 101);
    f.paint();
    EXPECT_TRUE(closeTo(f.pixel(cardLeft(0) + 64, y), 0x4B3FDB));
}

TEST(CatalogPaint, ProgressOverlayIsPercentPixelsWide)
{
    FrameHarness f;
    fillCatalog(f);
    f.paint();
    // Along the top rows of the button the label is absent; at y 316 the
    // rounded ends of a 37 px overlay (radius 14) reach from x 7 to x 30 of
    // the button.
    const int left = cardLeft(3) + 60;
    const Rgb overlay = over(0x465B4DFF, 0xF2F3F5);
    EXPECT_TRUE(closeTo(f.pixel(left + 20, 316), overlay));
    EXPECT_TRUE(closeTo(f.pixel(left + 27, 316), overlay, 12));
    EXPECT_TRUE(closeTo(f.pixel(left + 34, 316), 0xF2F3F5, 6));
    f.tasks[104].received = 0;
    f.paint();
    EXPECT_TRUE(closeTo(f.pixel(left + 20, 316), 0xF2F3F5));
}

TEST(CatalogPaint, HitZonesOfTheCatalogPage)
{
    FrameHarness f;
    fillCatalog(f);
    f.paint();
    const HitKind titleKinds[] = {HitKind::Minimize, HitKind::MaximizeRestore, HitKind::Close,
                                  HitKind::DownloadsButton, HitKind::SettingsButton};
    ASSERT_GE(f.view.hitZones.size(), 5u);
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(f.view.hitZones[i].kind, titleKinds[i]) << i;
    auto close = f.zones(HitKind::Close);
    ASSERT_EQ(close.size(), 1u);
    EXPECT_EQ(close[0].rect.left, kFrameWidth - 46);
    EXPECT_EQ(close[0].rect.bottom, 64);
    auto cards = f.zones(HitKind::CardButton);
    ASSERT_EQ(cards.size(), 4u);
    const int32_t ids[] = {101, 102, 103, 104};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(cards[k].id, ids[k]);
        EXPECT_EQ(cards[k].rect.left, cardLeft(k) + 60);
        EXPECT_EQ(cards[k].rect.top, 314);
        EXPECT_EQ(cards[k].rect.right, cardLeft(k) + 160);
        EXPECT_EQ(cards[k].rect.bottom, 346);
    }
    EXPECT_TRUE(f.zones(HitKind::Reload).empty());
}

TEST(CatalogPaint, ScrollOffsetsAreClampedAndHiddenCardsHaveNoZones)
{
    FrameHarness f;
    f.addCategory(L"c", L"全部");
    for (int i = 1; i < 25; ++i) f.addCategory(L"x" + std::to_wstring(i), L"分类" + std::to_wstring(i));
    f.view.currentCategoryId = L"c";
    for (int i = 0; i < 30; ++i) f.addApp(200 + i, L"应用" + std::to_wstring(i), L"c");
    f.view.sidebarScroll = -40;
    f.paint();
    EXPECT_EQ(f.view.sidebarScroll, 0);
    f.view.listScroll = 100000;
    f.view.sidebarScroll = 100000;
    f.paint("catalog_scrolled");
    // 8 rows: 1984 + 126 - 780 + 14; 25 categories: 1194 + 92 - 780.
    EXPECT_EQ(f.view.listScroll, 1344);
    EXPECT_EQ(f.view.sidebarScroll, 506);
    auto rows = f.zones(HitKind::CategoryRow);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.back().id, 24);
    EXPECT_GE(rows.front().rect.top, 78);
    auto cards = f.zones(HitKind::CardButton);
    ASSERT_FALSE(cards.empty());
    EXPECT_EQ(cards.back().id, 229);
    for (const auto& zone : cards) {
        EXPECT_GE(zone.rect.top, 126) << zone.id;
        EXPECT_LE(zone.rect.bottom, kFrameHeight) << zone.id;
    }
    // Scrollbar thumb at the bottom of its track (x 1161..1165).
    EXPECT_FALSE(closeTo(f.pixel(kFrameWidth - 17, kFrameHeight - 3), kBackground, 2));
    EXPECT_TRUE(closeTo(f.pixel(kFrameWidth - 17, 130), over(0x12BEC0C9, kBackground), 3));
}

TEST(CatalogPaint, IconPlaceholderAndLoadedIcon)
{
    FrameHarness f;
    fillCatalog(f);
    // App 101: id mod 5 = 1, RGB(14,165,233) at 14 % over white.
    f.paint();
    EXPECT_TRUE(closeTo(f.pixel(cardLeft(0) + 75, 150), 0xDEF3FC));
    auto app = f.catalog.apps[0];
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 4, -4, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP red = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    for (int i = 0; i < 16; ++i) static_cast<uint32_t*>(bits)[i] = 0xFFFF0000;
    app->iconBitmap = red;  // the record owns it from here
    app->iconState = 2;
    f.paint("catalog_icon");
    EXPECT_TRUE(closeTo(f.pixel(cardLeft(0) + 110, 180), 0xFF0000, 6));
}

TEST(CatalogPaint, ErrorStateOffersReload)
{
    FrameHarness f;
    f.view.loadFailed = true;
    f.paint("error");
    EXPECT_TRUE(closeTo(f.pixel(636, 310), kAccentRgb));
    auto reload = f.zones(HitKind::Reload);
    ASSERT_EQ(reload.size(), 1u);
    EXPECT_EQ(reload[0].rect.left, 630);
    EXPECT_EQ(reload[0].rect.top, 294);
    EXPECT_EQ(reload[0].rect.right, 750);
    EXPECT_EQ(reload[0].rect.bottom, 326);
    EXPECT_TRUE(f.zones(HitKind::CardButton).empty());

    // An untrusted certificate names itself in the heading; the rest stays.
    auto heading = [&] {
        std::vector<Rgb> band;
        for (int y = 184; y < 214; ++y)
            for (int x = 200; x < kFrameWidth; ++x) band.push_back(f.pixel(x, y));
        return band;
    };
    const std::vector<Rgb> unreachable = heading();
    f.catalog.certificateRejected = true;
    f.paint("error_certificate");
    EXPECT_NE(heading(), unreachable);
    EXPECT_TRUE(closeTo(f.pixel(636, 310), kAccentRgb));
}

TEST(Overlays, ToastPillColourByKindAndExpiry)
{
    const struct { ToastKind kind; uint32_t fill; } cases[] = {
        {ToastKind::Neutral, 0xE81D2129}, {ToastKind::Success, 0xE800B42A}, {ToastKind::Error, 0xE8F53F3F}};
    for (const auto& c : cases) {
        FrameHarness f;
        f.view.loading = true;
        f.view.toast = {f.now - 2199, c.kind, L"提示"};
        f.paint(c.kind == ToastKind::Error ? "toast_error" : nullptr);
        EXPECT_TRUE(closeTo(f.pixel(418, 101), over(c.fill, kBackground))) << static_cast<int>(c.kind);
        EXPECT_FALSE(f.view.toast.text.empty());
        f.now += 1;
        f.paint();
        EXPECT_TRUE(closeTo(f.pixel(418, 101), kBackground));
        EXPECT_TRUE(f.view.toast.text.empty());
    }
}

TEST(Overlays, BannerLivesFiveSecondsAndIsOneZone)
{
    FrameHarness f;
    fillCatalog(f);
    f.view.banner = {f.now - 4999, 101, false, L"编辑器", true};
    f.paint("banner");
    const Rgb inside = f.pixel(kFrameWidth - 300, kFrameHeight - 100);
    EXPECT_TRUE(closeTo(inside, over(0xF7FFFFFF, kBackground)));
    auto banner = f.zones(HitKind::Banner);
    ASSERT_EQ(banner.size(), 1u);
    EXPECT_EQ(banner[0].rect.left, kFrameWidth - 356);
    EXPECT_EQ(banner[0].rect.top, kFrameHeight - 104);
    EXPECT_EQ(banner[0].rect.right, kFrameWidth - 20);
    EXPECT_EQ(banner[0].rect.bottom, kFrameHeight - 20);
    EXPECT_EQ(f.view.hitZones.back().kind, HitKind::Banner);  // on top of the cards
    f.now += 1;
    f.paint();
    EXPECT_TRUE(f.view.banner.title.empty());
    EXPECT_TRUE(f.zones(HitKind::Banner).empty());
}

TEST(PaintResources, ManyFramesLeaveNoObjectBehind)
{
    FrameHarness f;
    fillCatalog(f);
    for (int i = 100; i < 110; ++i) f.addTask(i, static_cast<TaskState::Value>(i % 8), 30, 100, i % 2 == 0, i % 3 == 0);
    f.view.toast = {f.now, ToastKind::Success, L"提示"};
    f.view.banner = {f.now, 101, false, L"编辑器", true};
    f.paint();
    const int before = gdi::liveGdiObjects();
    const int handlesBefore = liveGdiHandles();
    for (int frame = 0; frame < 200; ++frame) {
        f.view.page = frame % 2 ? Page::Downloads : Page::Catalog;
        f.view.loadFailed = frame % 7 == 0;
        f.hover(HitKind::CardButton, 101 + frame % 4);
        const long created = gdi::createdGdiObjects();
        f.paint();
        // Each frame makes its own brushes, pens and paths, and frees them all.
        ASSERT_GT(gdi::createdGdiObjects() - created, 20) << "frame " << frame;
        ASSERT_EQ(gdi::liveGdiObjects(), before) << "frame " << frame;
        if (frame % 50 == 49) {
            ASSERT_EQ(liveGdiHandles(), handlesBefore) << "frame " << frame;
        }
    }
}

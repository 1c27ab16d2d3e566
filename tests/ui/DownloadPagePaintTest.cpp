#include <gtest/gtest.h>

#include "tests/ui/frame_harness.h"

namespace {

constexpr Rgb kTrack = 0xF0F1F4;

}  // namespace

TEST(DownloadPagePaint, TrackAndFillByState)
{
    FrameHarness f;
    fillTasks(f);
    f.paint("downloads");
    // 37 % of the 622 px track is 230 px of accent from x 298.
    const int y0 = line(0) - 9;
    EXPECT_TRUE(closeTo(f.pixel(310, y0), 0x5B4DFF));
    EXPECT_TRUE(closeTo(f.pixel(298 + 226, y0), 0x5B4DFF));
    EXPECT_TRUE(closeTo(f.pixel(298 + 234, y0), kTrack));
    EXPECT_TRUE(closeTo(f.pixel(600, line(1) - 9), 0x00B42A));
    EXPECT_TRUE(closeTo(f.pixel(600, line(2) - 9), over(0x46F53F3F, kTrack)));
    EXPECT_TRUE(closeTo(f.pixel(600, line(3) - 9), 0x00B42A));
    // Row cards are white on the window background.
    EXPECT_TRUE(closeTo(f.pixel(230, line(0)), 0xFFFFFF));
    EXPECT_TRUE(closeTo(f.pixel(210, line(0)), 0xF5F6F8));
}

TEST(DownloadPagePaint, ZonesOfHeaderAndRows)
{
    FrameHarness f;
    fillTasks(f);
    f.paint();
    const int c = kFrameWidth;
    auto expectZone = [&](HitKind kind, int32_t id, Rect rect) {
        for (const auto& zone : f.view.hitZones)
            if (zone.kind == kind && zone.id == id) {
                EXPECT_EQ(Rect({zone.rect.left, zone.rect.top, zone.rect.right, zone.rect.bottom}), rect)
                    << static_cast<int>(kind) << " " << id;
                return;
            }
        ADD_FAILURE() << "no zone " << static_cast<int>(kind) << " id " << id;
    };
    // Header buttons, then each row's buttons by its state (rects: LayoutTest).
    expectZone(HitKind::PanelClearFinished, 0, {c - 120, 86, c - 24, 112});
    expectZone(HitKind::PanelOpenDownloadFolder, 0, {c - 102, 120, c - 24, 146});
    expectZone(HitKind::PanelChangeFolder, 0, {c - 188, 120, c - 110, 146});
    expectZone(HitKind::PanelCancel, 1, {c - 112, line(0) - 30, c - 36, line(0)});
    expectZone(HitKind::PanelInstall, 2, {c - 112, line(1) - 30, c - 36, line(1)});
    expectZone(HitKind::PanelRetry, 3, {c - 112, line(2) - 30, c - 36, line(2)});
    expectZone(HitKind::PanelOpenFolder, 5, {c - 136, line(4) - 30, c - 36, line(4)});
    EXPECT_EQ(f.zones(HitKind::PanelInstall).size(), 1u);  // the archive has none
    EXPECT_TRUE(f.zones(HitKind::CardButton).empty());
    // Filled "安装" button: accent beside its label; outlined ones are white.
    EXPECT_TRUE(closeTo(f.pixel(c - 74, line(1) - 27), 0x5B4DFF));
    EXPECT_TRUE(closeTo(f.pixel(c - 160, line(1) - 27), 0xFFFFFF));
}

TEST(DownloadPagePaint, ScrollShowsLaterRowsAndDropsHiddenZones)
{
    FrameHarness f;
    f.view.page = Page::Downloads;
    for (int id = 1; id <= 12; ++id) f.addTask(id, TaskState::Failed);
    f.view.panelScroll = 5000;
    f.paint("downloads_scrolled");
    // 1152 + 158 - 780 + 14.
    EXPECT_EQ(f.view.panelScroll, 544);
    auto retry = f.zones(HitKind::PanelRetry);
    ASSERT_FALSE(retry.empty());
    EXPECT_EQ(retry.back().id, 12);
    for (const auto& zone : retry) EXPECT_GE(zone.rect.top, 158) << zone.id;
    // The header's buttons stay on top of rows scrolled beneath them.
    EXPECT_EQ(f.zones(HitKind::PanelOpenDownloadFolder).size(), 1u);
    // Row 12's track, at 216 + 1056 - 544 - 9, is visible and red-tinted.
    EXPECT_TRUE(closeTo(f.pixel(600, 216 + 96 * 11 - 544 - 9), over(0x46F53F3F, kTrack)));
    // Scrollbar at the right edge, below the header.
    EXPECT_FALSE(closeTo(f.pixel(kFrameWidth - 17, kFrameHeight - 3), 0xF5F6F8, 2));

    f.view.panelScroll = -30;
    f.paint();
    EXPECT_EQ(f.view.panelScroll, 0);
    EXPECT_EQ(f.zones(HitKind::PanelRetry).front().id, 1);
}

TEST(DownloadPagePaint, EmptyListHasOnlyTheHeader)
{
    FrameHarness f;
    f.view.page = Page::Downloads;
    f.paint("downloads_empty");
    EXPECT_EQ(f.zones(HitKind::PanelClearFinished).size(), 1u);
    EXPECT_TRUE(f.zones(HitKind::PanelCancel).empty());
    EXPECT_TRUE(f.zones(HitKind::PanelRetry).empty());
}

TEST(DownloadPagePaint, RunningRowOffersPauseAndAPausedRowContinues)
{
    for (int dpi : {96, 144}) {
        FrameHarness f(dpi);
        f.view.page = Page::Downloads;
        f.addTask(1, TaskState::Downloading, 37, 100);
        f.addTask(2, TaskState::Paused, 50, 100);
        f.paint(dpi == 96 ? "paused" : "paused_150");
        const int c = kFrameWidth;
        const Scale& s = f.scale();
        const auto zoneOf = [&](HitKind kind, int32_t id) {
            for (const auto& zone : f.zones(kind))
                if (zone.id == id) return Rect{zone.rect.left, zone.rect.top, zone.rect.right, zone.rect.bottom};
            return Rect{};
        };
        EXPECT_EQ(zoneOf(HitKind::PanelPause, 1), s.px(Rect{c - 196, line(0) - 30, c - 120, line(0)})) << dpi;
        EXPECT_EQ(zoneOf(HitKind::PanelCancel, 1), s.px(Rect{c - 112, line(0) - 30, c - 36, line(0)})) << dpi;
        EXPECT_EQ(zoneOf(HitKind::PanelCancel, 2), s.px(Rect{c - 196, line(1) - 30, c - 120, line(1)})) << dpi;
        EXPECT_EQ(zoneOf(HitKind::PanelResume, 2), s.px(Rect{c - 112, line(1) - 30, c - 36, line(1)})) << dpi;
        EXPECT_TRUE(f.zones(HitKind::PanelResume).size() == 1 && f.zones(HitKind::PanelPause).size() == 1);
        // "继续" is filled with the accent, "取消" beside it outlined; the paused
        // transfer keeps its progress: half of the 622-unit track.
        EXPECT_TRUE(closeTo(f.probe(c - 104, line(1) - 27), 0x5B4DFF)) << dpi;
        EXPECT_TRUE(closeTo(f.probe(c - 188, line(1) - 27), 0xFFFFFF)) << dpi;
        EXPECT_TRUE(closeTo(f.probe(298 + 300, line(1) - 9), 0x5B4DFF)) << dpi;
        EXPECT_TRUE(closeTo(f.probe(298 + 320, line(1) - 9), kTrack)) << dpi;
    }
}

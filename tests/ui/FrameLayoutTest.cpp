#include <gtest/gtest.h>

#include <vector>

#include "ui/frame_layout.h"
#include "ui/keyboard_focus.h"
#include "ui/press_rule.h"

namespace {

// The catalog page: 3 categories, the second selected, apps 101.. in the grid.
LayoutInput catalogPage(int dpi, int apps, int width = 1180, int height = 780)
{
    LayoutInput in;
    in.scale = Scale::forDpi(dpi);
    in.pixelWidth = in.scale.px(width);
    in.pixelHeight = in.scale.px(height);
    in.categoryCount = 3;
    in.selectedCategory = 1;
    for (int i = 0; i < apps; ++i) in.shownApps.push_back(101 + i);
    return in;
}

LayoutInput downloadsPage(const std::vector<LayoutTask>& tasks)
{
    LayoutInput in = catalogPage(96, 0);
    in.page = Page::Downloads;
    in.tasks = tasks;
    return in;
}

std::vector<ZoneRef> refs(const FrameLayout& f)
{
    std::vector<ZoneRef> out;
    for (const auto& zone : f.zones) out.push_back(zone.ref());
    return out;
}

}  // namespace

TEST(FrameLayout, AtOneAndAHalfTimesEveryZoneIsItsDesignPlaceTimesOneAndAHalf)
{
    const FrameLayout at100 = layoutFrame(catalogPage(96, 10));
    const FrameLayout at150 = layoutFrame(catalogPage(144, 10));
    EXPECT_EQ(at150.width, 1180);
    EXPECT_EQ(at150.height, 780);
    ASSERT_EQ(refs(at150), refs(at100));
    auto timesOneAndAHalf = [](int v) { return (3 * v + 1) / 2; };  // halves round up
    for (size_t i = 0; i < at100.zones.size(); ++i) {
        const Rect& r = at100.zones[i].rect;
        const Rect want{timesOneAndAHalf(r.left), timesOneAndAHalf(r.top), timesOneAndAHalf(r.right),
                        timesOneAndAHalf(r.bottom)};
        EXPECT_EQ(at150.zones[i].pixels, want) << i;
    }
    // The first card's button: (286, 314)-(386, 346) at 100 %.
    const LayoutZone* first = findZone(at150, {HitKind::CardButton, 101});
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->pixels, Rect({429, 471, 579, 519}));
    EXPECT_EQ(zoneAt(at150, 430, 472), first);
    EXPECT_EQ(zoneAt(at150, 428, 472), nullptr);
}

TEST(FrameLayout, ZonesInDrawingOrderCutToTheirListsAndScrollsClamped)
{
    LayoutInput in = catalogPage(96, 30);
    in.listScroll = 100000;
    in.sidebarScroll = -40;
    in.panelScroll = 77;  // not shown: kept as it is
    in.bannerUp = true;
    const FrameLayout f = layoutFrame(in);
    const std::vector<HitKind> title = {HitKind::Minimize, HitKind::MaximizeRestore, HitKind::Close,
                                        HitKind::DownloadsButton, HitKind::SettingsButton};
    for (size_t i = 0; i < title.size(); ++i) EXPECT_EQ(f.zones[i].kind, title[i]);
    EXPECT_EQ(f.zones.back().kind, HitKind::Banner);
    // 8 rows of 4: 1984 + 126 - 780 + 14.
    EXPECT_EQ(f.listOffset, 1344);
    EXPECT_EQ(f.sidebarOffset, 0);
    EXPECT_EQ(f.panelOffset, 77);
    for (const auto& zone : f.zones) {
        if (zone.kind != HitKind::CardButton) continue;
        EXPECT_GE(zone.rect.top, 126) << zone.id;
    }
    EXPECT_EQ(f.cards.back().appId, 130);
}

TEST(FocusOrder, CategoriesThenThePageThenTheTitleBar)
{
    const FrameLayout catalog = layoutFrame(catalogPage(96, 2));
    const std::vector<ZoneRef> expected = {
        {HitKind::CategoryRow, 0},    {HitKind::CategoryRow, 1},    {HitKind::CategoryRow, 2},
        {HitKind::CardButton, 101},   {HitKind::CardButton, 102},   {HitKind::SearchField, 0},
        {HitKind::DownloadsButton, 0}, {HitKind::SettingsButton, 0}, {HitKind::Minimize, 0},
        {HitKind::MaximizeRestore, 0}, {HitKind::Close, 0},
    };
    EXPECT_EQ(catalog.focusOrder, expected);

    const FrameLayout page = layoutFrame(downloadsPage({{7, TaskState::Downloaded, false}, {9, TaskState::Failed, false}}));
    const std::vector<ZoneRef> rows(page.focusOrder.begin() + 3, page.focusOrder.begin() + 9);
    const std::vector<ZoneRef> expectedRows = {
        {HitKind::PanelClearFinished, 0}, {HitKind::PanelChangeFolder, 0}, {HitKind::PanelOpenDownloadFolder, 0},
        {HitKind::PanelOpenFolder, 7},    {HitKind::PanelInstall, 7},      {HitKind::PanelRetry, 9},
    };
    EXPECT_EQ(rows, expectedRows);
}

TEST(SearchField, InTheTitleBandAtLeast130WideWithItsClearGlyphOverItsRightEnd)
{
    // Width, the field, the tagline's right edge; 600 leaves no room for a field.
    const struct { int width; Rect field; int taglineRight; } cases[] = {
        {1180, {480, 13, 790, 47}, 466}, {1000, {480, 13, 610, 47}, 466},
        {900, {380, 13, 510, 47}, 366},  {600, {}, 466}};
    for (const auto& c : cases) {
        LayoutInput in = catalogPage(96, 2, c.width);
        in.searchHasText = true;
        const FrameLayout f = layoutFrame(in);
        const LayoutZone* field = findZone(f, {HitKind::SearchField, 0});
        EXPECT_EQ(field ? field->rect : Rect(), c.field) << c.width;
        EXPECT_EQ(f.tagline.right, c.taglineRight) << c.width;
        if (!field) continue;
        EXPECT_EQ(f.searchText, Rect({c.field.left + 30, 20, c.field.right - 28, 40})) << c.width;
        EXPECT_EQ(zoneAt(f, c.field.right - 28, 30)->kind, HitKind::SearchClear) << c.width;
        EXPECT_EQ(zoneAt(f, c.field.right - 29, 30)->kind, HitKind::SearchField) << c.width;
    }
    const FrameLayout empty = layoutFrame(catalogPage(144, 2));
    EXPECT_EQ(findZone(empty, {HitKind::SearchClear, 0}), nullptr);
    EXPECT_EQ(findZone(empty, {HitKind::SearchField, 0})->pixels, Rect({720, 20, 1185, 71}));
}

TEST(FocusMoves, TabWrapsAndArrowsFollowTheGrid)
{
    // 7 cards in 4 columns: 101-104 on the first row, 105-107 on the second.
    const FrameLayout f = layoutFrame(catalogPage(96, 7));
    const ZoneRef none{};
    const ZoneRef close{HitKind::Close, 0};
    auto card = [](int32_t id) { return ZoneRef{HitKind::CardButton, id}; };
    const struct { ZoneRef from; FocusMove move; ZoneRef to; } cases[] = {
        {none, FocusMove::Next, {HitKind::CategoryRow, 0}},
        {none, FocusMove::Previous, close},
        {close, FocusMove::Next, {HitKind::CategoryRow, 0}},
        {{HitKind::CategoryRow, 0}, FocusMove::Previous, close},
        {{HitKind::CategoryRow, 2}, FocusMove::Next, card(101)},
        {{HitKind::CategoryRow, 1}, FocusMove::Down, {HitKind::CategoryRow, 2}},
        {{HitKind::CategoryRow, 2}, FocusMove::Down, {HitKind::CategoryRow, 2}},
        {card(102), FocusMove::Down, card(106)},
        {card(104), FocusMove::Down, card(107)},  // the short last row's last card
        {card(106), FocusMove::Down, card(106)},
        {card(106), FocusMove::Up, card(102)},
        {card(104), FocusMove::Right, card(105)},
        {card(107), FocusMove::Right, card(107)},
        {card(101), FocusMove::Left, card(101)},
        {close, FocusMove::Down, close},
    };
    for (const auto& c : cases) {
        const ZoneRef got = moveFocus(f, c.from, c.move);
        EXPECT_TRUE(got == c.to) << static_cast<int>(c.from.kind) << "/" << c.from.id << " move "
                                 << static_cast<int>(c.move) << " gave " << static_cast<int>(got.kind) << "/"
                                 << got.id;
    }
}

TEST(FocusMoves, RowsAndButtonsOfTheDownloadPageAndAFocusThatLostItsButton)
{
    const FrameLayout f =
        layoutFrame(downloadsPage({{7, TaskState::Downloaded, false}, {8, TaskState::Downloading, false}}));
    EXPECT_TRUE(moveFocus(f, {HitKind::PanelOpenFolder, 7}, FocusMove::Right) == ZoneRef({HitKind::PanelInstall, 7}));
    EXPECT_TRUE(moveFocus(f, {HitKind::PanelInstall, 7}, FocusMove::Right) == ZoneRef({HitKind::PanelInstall, 7}));
    EXPECT_TRUE(moveFocus(f, {HitKind::PanelInstall, 7}, FocusMove::Down) == ZoneRef({HitKind::PanelPause, 8}));
    EXPECT_TRUE(moveFocus(f, {HitKind::PanelPause, 8}, FocusMove::Right) == ZoneRef({HitKind::PanelCancel, 8}));
    // Cancelled: "取消" became "重试" in the same row.
    const FrameLayout after =
        layoutFrame(downloadsPage({{7, TaskState::Downloaded, false}, {8, TaskState::Cancelled, false}}));
    EXPECT_TRUE(repairFocus(after, {HitKind::PanelCancel, 8}) == ZoneRef({HitKind::PanelRetry, 8}));
    // Paused, "取消" took the place of "暂停": the focus goes to "继续".
    const FrameLayout paused =
        layoutFrame(downloadsPage({{7, TaskState::Downloaded, false}, {8, TaskState::Paused, false}}));
    EXPECT_TRUE(repairFocus(paused, {HitKind::PanelPause, 8}) == ZoneRef({HitKind::PanelResume, 8}));
    EXPECT_TRUE(repairFocus(after, {HitKind::CardButton, 101}).empty());
    EXPECT_TRUE(repairFocus(after, {HitKind::Close, 0}) == ZoneRef({HitKind::Close, 0}));
}

TEST(FocusScrolling, TheFocusedCardIsRevealedAndThePageKeysScrollItsList)
{
    // 30 cards, 8 rows: card 109 (third row) spans 622..856 unscrolled, the grid 126..780.
    const FrameLayout f = layoutFrame(catalogPage(96, 30));
    const ScrollChange shown = revealFocus(f, {HitKind::CardButton, 109});
    EXPECT_EQ(shown.target, ScrollTarget::Grid);
    EXPECT_EQ(shown.offset, 76);
    EXPECT_EQ(revealFocus(f, {HitKind::CardButton, 101}).offset, 0);
    EXPECT_EQ(revealFocus(f, {HitKind::Close, 0}).target, ScrollTarget::None);
    const struct { PageKey key; int offset; } keys[] = {
        {PageKey::PageDown, 654}, {PageKey::PageUp, 0}, {PageKey::Home, 0}, {PageKey::End, 1344}};
    for (const auto& k : keys) EXPECT_EQ(pageKeyScroll(f, {HitKind::CardButton, 101}, k.key).offset, k.offset);
    EXPECT_EQ(pageKeyScroll(f, {HitKind::CategoryRow, 0}, PageKey::End).target, ScrollTarget::Sidebar);
}

TEST(Scrollbar, ThumbDragAndTrackPaging)
{
    LayoutInput in = catalogPage(96, 30);
    in.listScroll = 200;
    const ScrollArea area = layoutFrame(in).pageScroll;
    ASSERT_EQ(area.target, ScrollTarget::Grid);
    // Track 126..780 (654), thumb 654² / 1984 = 215: 439 units of travel for 1344.
    EXPECT_EQ(area.thumb.height(), 215);
    EXPECT_EQ(thumbDragScroll(area, 200, 100), 200 + 100 * 1344 / 439);
    EXPECT_EQ(thumbDragScroll(area, 200, -5000), 0);
    EXPECT_EQ(thumbDragScroll(area, 200, 5000), 1344);
    EXPECT_EQ(trackPageScroll(area, area.thumb.bottom + 10), 200 + 654);
    EXPECT_EQ(trackPageScroll(area, area.thumb.top - 1), 0);
    EXPECT_TRUE(scrollGrabRect(area).contains(area.track.left - 4, area.thumb.top));
}

TEST(PressRule, ActsOnReleaseOverThePressedZoneOnly)
{
    const ZoneRef cancel{HitKind::PanelCancel, 3};
    const ZoneRef retry{HitKind::PanelRetry, 3};
    const ZoneRef none{};
    const struct { ZoneRef pressed; bool secondOfDoubleClick; ZoneRef released; ZoneRef fires; } cases[] = {
        {cancel, false, cancel, cancel},
        {cancel, false, retry, none},  // moved off onto another zone
        {cancel, false, none, none},   // moved off onto nothing
        {none, false, cancel, none},   // pressed beside it
        {retry, true, retry, none},    // the second press of a double-click
    };
    for (const auto& c : cases) {
        const ZoneRef fired = releaseAt(pressAt(c.pressed, c.secondOfDoubleClick), c.released);
        EXPECT_TRUE(fired == c.fires) << static_cast<int>(c.pressed.kind) << " " << c.secondOfDoubleClick;
    }
    Press held = pressAt(cancel, false);
    EXPECT_TRUE(held.inside);
    EXPECT_FALSE(pointerMoved(held, none).inside);
    EXPECT_TRUE(pointerMoved(pointerMoved(held, none), cancel).inside);
}

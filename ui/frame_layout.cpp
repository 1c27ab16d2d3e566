#include "ui/frame_layout.h"

#include <algorithm>

namespace {

constexpr uint32_t kToastLifeMs = 2199;   // shown while at most this old
constexpr uint32_t kBannerLifeMs = 5000;  // shown while younger than this
constexpr int kScrollGrab = 4;            // each side of a 4-unit track

// Records zones in drawing order, cut to the clip in force.
class ZoneList {
public:
    ZoneList(FrameLayout& layout) : layout_(layout) {}

    void add(const Rect& rect, HitKind kind, int32_t id = 0)
    {
        Rect r = intersect(rect, clip_);
        if (r.width() <= 0 || r.height() <= 0) return;
        layout_.zones.push_back({r, layout_.scale.px(r), kind, id});
    }
    void spot(const Rect& rect, TextSpotKind kind, int32_t id = 0)
    {
        Rect r = intersect(rect, clip_);
        if (r.width() > 0 && r.height() > 0) layout_.textSpots.push_back({r, kind, id});
    }
    void clipTo(const Rect& rect) { clip_ = rect; }
    void unclip() { clip_ = kEverything; }

private:
    static constexpr Rect kEverything{0, 0, 1 << 30, 1 << 30};
    FrameLayout& layout_;
    Rect clip_ = kEverything;
};

void layOutTitleBar(const LayoutInput& in, FrameLayout& f, ZoneList& zones)
{
    const int w = f.width;
    f.titleBar = {0, 0, w, kTitleBarHeight};
    f.logo = logoRect();
    f.productName = productNameRect();
    f.separator = titleSeparatorRect();
    f.tagline = taglineRect();
    f.minimize = windowButtonRect(WindowButton::Minimize, w);
    f.maximize = windowButtonRect(WindowButton::MaximizeRestore, w);
    f.close = windowButtonRect(WindowButton::Close, w);
    f.downloadsButton = downloadsButtonRect(w);
    f.settingsButton = settingsButtonRect(w);
    f.badge = badgeRect(w);
    zones.add(f.minimize, HitKind::Minimize);
    zones.add(f.maximize, HitKind::MaximizeRestore);
    zones.add(f.close, HitKind::Close);
    zones.add(f.downloadsButton, HitKind::DownloadsButton);
    zones.add(f.settingsButton, HitKind::SettingsButton);

    f.searchField = searchFieldRect(w);
    f.searchText = searchTextRect(f.searchField);
    if (f.searchField.width() > 0) f.tagline.right = std::min(f.tagline.right, f.searchField.left - 14);
    zones.add(f.searchField, HitKind::SearchField);
    if (in.searchHasText) {
        f.searchClear = searchClearRect(f.searchField);
        zones.add(f.searchClear, HitKind::SearchClear);
    }
}

ScrollArea sidebarArea(const SidebarLayout& s)
{
    ScrollArea area{ScrollTarget::Sidebar, s.scroll, s.maximum, s.visible, s.content, {}, {}};
    if (s.maximum > 0) {
        area.track = sidebarTrackRect(s);
        area.thumb = sidebarThumbRect(s);
    }
    return area;
}

void layOutSidebar(const LayoutInput& in, FrameLayout& f, ZoneList& zones)
{
    f.sidebar = {0, kTitleBarHeight, kSidebarWidth, f.height};
    const SidebarLayout s = sidebarLayout(in.categoryCount, f.height, in.sidebarScroll);
    f.sidebarGeometry = s;
    f.sidebarClip = {0, s.clipTop, kSidebarWidth, s.clipBottom};
    for (int i = 0; i < s.count; ++i) {
        if (!sidebarRowVisible(s, i)) continue;
        f.sidebarRows.push_back({i, sidebarRowRect(s, i), i == in.selectedCategory});
        zones.add(sidebarRowZone(s, i), HitKind::CategoryRow, i);
        zones.spot(sidebarRowZone(s, i), TextSpotKind::CategoryName, i);
    }
    f.sidebarScroll = sidebarArea(s);
    f.sidebarOffset = s.scroll;
}

void layOutGrid(const LayoutInput& in, FrameLayout& f, ZoneList& zones)
{
    f.heading = pageHeadingRect(f.width);
    f.messageLine = contentLineRect(f.width, 184, 214);
    const GridLayout g = gridLayout(f.width, f.height, true, static_cast<int>(in.shownApps.size()), in.listScroll);
    f.grid = g;
    f.gridClip = gridClipRect(g);
    f.listOffset = g.scroll;
    f.pageScroll = {ScrollTarget::Grid, g.scroll, g.maximum, g.height - g.top, g.content, {}, {}};
    if (g.maximum > 0) {
        f.pageScroll.track = gridTrackRect(g);
        f.pageScroll.thumb = gridThumbRect(g);
    }
    zones.clipTo(f.gridClip);
    for (int k = 0; k < g.count; ++k) {
        if (!cardVisible(g, k)) continue;
        const Rect card = cardRect(g, k);
        const int32_t id = in.shownApps[static_cast<size_t>(k)];
        f.cards.push_back({k, id, card});
        zones.spot(cardNameRect(card), TextSpotKind::CardName, id);
        zones.add(cardButtonRect(card), HitKind::CardButton, id);
    }
    zones.unclip();
}

void layOutDownloads(const LayoutInput& in, FrameLayout& f, ZoneList& zones)
{
    const int c = f.width;
    f.heading = panelHeadingRect(c);
    f.clearButton = panelClearButtonRect(c);
    f.folderLabel = panelFolderLabelRect();
    f.folderPath = panelFolderPathRect(c);
    f.openFolderButton = panelOpenFolderButtonRect(c);
    f.changeFolderButton = panelChangeFolderButtonRect(c);
    zones.add(f.clearButton, HitKind::PanelClearFinished);
    zones.spot(f.folderPath, TextSpotKind::DownloadFolder);
    zones.add(f.openFolderButton, HitKind::PanelOpenDownloadFolder);
    zones.add(f.changeFolderButton, HitKind::PanelChangeFolder);
    if (in.tasks.empty()) {
        f.messageLine = contentLineRect(c, 214, 284);
        f.panelOffset = 0;
        return;
    }
    const PanelLayout p = panelLayout(c, f.height, static_cast<int>(in.tasks.size()), in.panelScroll);
    f.panel = p;
    f.panelClip = panelClipRect(p);
    f.panelOffset = p.scroll;
    f.pageScroll = {ScrollTarget::Panel, p.scroll, p.maximum, p.height - kPanelTop, p.content, {}, {}};
    if (p.maximum > 0) {
        f.pageScroll.track = panelTrackRect(p);
        f.pageScroll.thumb = panelThumbRect(p);
    }
    zones.clipTo(f.panelClip);
    for (int k = 0; k < p.count; ++k) {
        if (!panelRowVisible(p, k)) continue;
        const LayoutTask& task = in.tasks[static_cast<size_t>(k)];
        const int y = panelRowLine(p, k);
        PanelRow row{k, task.id, y, panelRowCard(p, k), panelRowButtons(task.state, task.isArchive, c, y)};
        zones.spot(panelRowNameRect(c, y), TextSpotKind::TaskName, task.id);
        zones.spot(panelRowStatusRect(c, y), TextSpotKind::TaskStatus, task.id);
        for (const PanelButton& button : row.buttons)
            zones.add(button.rect, static_cast<HitKind>(button.action), task.id);
        f.panelRows.push_back(std::move(row));
    }
    zones.unclip();
}

void layOutContent(const LayoutInput& in, FrameLayout& f, ZoneList& zones)
{
    switch (f.content) {
    case Content::Loading: f.messageLine = contentLineRect(f.width, 184, 224); break;
    case Content::LoadFailed:
        f.messageLine = contentLineRect(f.width, 184, 214);
        f.secondLine = contentLineRect(f.width, 220, 244);
        f.reloadButton = reloadButtonRect(f.width);
        zones.add(f.reloadButton, HitKind::Reload);
        break;
    case Content::Grid: layOutGrid(in, f, zones); break;
    case Content::Downloads: layOutDownloads(in, f, zones); break;
    }
}

void layOutOverlays(const LayoutInput& in, FrameLayout& f, ZoneList& zones)
{
    f.toastUp = in.toastUp;
    f.toast = toastRect(f.width);
    f.bannerUp = in.bannerUp;
    f.banner = bannerRect(f.width, f.height);
    f.bannerIcon = bannerIconRect(f.width, f.height);
    f.bannerTitle = bannerTitleRect(f.width, f.height);
    f.bannerSubLine = bannerSubLineRect(f.width, f.height);
    if (!f.bannerUp) return;
    zones.spot(f.bannerTitle, TextSpotKind::BannerTitle);
    zones.add(f.banner, HitKind::Banner);
}

// Tab order: the categories, the page's buttons, then the title bar's from the search field on.
std::vector<ZoneRef> focusOrderOf(const LayoutInput& in, Content content)
{
    std::vector<ZoneRef> order;
    for (int i = 0; i < in.categoryCount; ++i) order.push_back({HitKind::CategoryRow, i});
    switch (content) {
    case Content::Loading: break;
    case Content::LoadFailed: order.push_back({HitKind::Reload, 0}); break;
    case Content::Grid:
        for (int32_t id : in.shownApps) order.push_back({HitKind::CardButton, id});
        break;
    case Content::Downloads:
        order.push_back({HitKind::PanelClearFinished, 0});
        order.push_back({HitKind::PanelChangeFolder, 0});
        order.push_back({HitKind::PanelOpenDownloadFolder, 0});
        for (const LayoutTask& task : in.tasks)
            for (const PanelButton& button : panelRowButtons(task.state, task.isArchive, 0, 0))
                order.push_back({static_cast<HitKind>(button.action), task.id});
        break;
    }
    for (HitKind kind : {HitKind::SearchField, HitKind::DownloadsButton, HitKind::SettingsButton,
                         HitKind::Minimize, HitKind::MaximizeRestore, HitKind::Close})
        order.push_back({kind, 0});
    return order;
}

}  // namespace

FrameLayout layoutFrame(const LayoutInput& in)
{
    FrameLayout f;
    f.scale = in.scale;
    f.pixelWidth = in.pixelWidth;
    f.pixelHeight = in.pixelHeight;
    f.width = in.scale.covering(in.pixelWidth);
    f.height = in.scale.covering(in.pixelHeight);
    f.page = in.page;
    f.content = in.loading      ? Content::Loading
                : in.loadFailed ? Content::LoadFailed
                : in.page == Page::Catalog ? Content::Grid
                                           : Content::Downloads;
    f.shownApps = in.shownApps;
    for (const LayoutTask& task : in.tasks) f.taskIds.push_back(task.id);
    // Lists not laid out keep their offsets until they are shown again.
    f.listOffset = in.listScroll;
    f.panelOffset = in.panelScroll;
    if (f.width <= 0 || f.height <= 0) return f;

    ZoneList zones(f);
    layOutTitleBar(in, f, zones);
    layOutSidebar(in, f, zones);
    layOutContent(in, f, zones);
    layOutOverlays(in, f, zones);
    f.focusOrder = focusOrderOf(in, f.content);
    return f;
}

const LayoutZone* zoneAt(const FrameLayout& layout, int x, int y)
{
    for (auto it = layout.zones.rbegin(); it != layout.zones.rend(); ++it)
        if (it->pixels.contains(x, y)) return &*it;
    return nullptr;
}

const LayoutZone* findZone(const FrameLayout& layout, ZoneRef ref)
{
    for (const LayoutZone& zone : layout.zones)
        if (zone.ref() == ref) return &zone;
    return nullptr;
}

float zoneRadius(HitKind kind)
{
    switch (kind) {
    case HitKind::CategoryRow: return 8;
    case HitKind::DownloadsButton:
    case HitKind::SettingsButton:
    case HitKind::SearchField: return 17;
    case HitKind::SearchClear: return 14;
    case HitKind::CardButton: return 14;
    case HitKind::PanelCancel:
    case HitKind::PanelInstall:
    case HitKind::PanelOpenFolder:
    case HitKind::PanelRetry:
    case HitKind::PanelPause:
    case HitKind::PanelResume:
    case HitKind::Reload: return 15;
    case HitKind::PanelClearFinished:
    case HitKind::PanelChangeFolder:
    case HitKind::PanelOpenDownloadFolder: return 13;
    case HitKind::Banner: return 10;
    default: return 0;
    }
}

bool toastIsUp(uint32_t now, uint32_t shownAt, bool hasText) { return hasText && now - shownAt <= kToastLifeMs; }
bool bannerIsUp(uint32_t now, uint32_t shownAt, bool hasTitle) { return hasTitle && now - shownAt < kBannerLifeMs; }

int scrollBy(const ScrollArea& area, int delta) { return clampScroll(area.scroll + delta, area.maximum); }

Rect scrollGrabRect(const ScrollArea& area)
{
    if (area.maximum <= 0) return {};
    return {area.track.left - kScrollGrab, area.track.top, area.track.right + kScrollGrab, area.track.bottom};
}

int trackPageScroll(const ScrollArea& area, int y)
{
    if (y < area.thumb.top) return scrollBy(area, -area.visible);
    if (y >= area.thumb.bottom) return scrollBy(area, area.visible);
    return area.scroll;
}

int thumbDragScroll(const ScrollArea& area, int startScroll, int dy)
{
    const int travel = area.track.height() - area.thumb.height();
    if (travel <= 0 || area.maximum <= 0) return clampScroll(startScroll, area.maximum);
    const int64_t moved = static_cast<int64_t>(dy) * area.maximum / travel;
    return clampScroll(static_cast<int>(startScroll + moved), area.maximum);
}

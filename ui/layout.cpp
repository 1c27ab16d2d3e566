#include "ui/layout.h"

#include <algorithm>

namespace {

constexpr int kBottomMargin = 14;
constexpr int kSidebarTop = 78;
constexpr int kSidebarPitch = 48;
constexpr int kSidebarRowHeight = 42;
constexpr int kSidebarThumbMin = 30;
constexpr int kGridThumbMin = 36;
constexpr int kCardHeight = 234;
constexpr int kCardPitch = 248;
constexpr int kCardGap = 14;
constexpr int kGridLeft = 226;
constexpr int kPanelFirstLine = 216;

// Task states as the engine numbers them.
enum : int32_t {
    kDownloading, kVerifying, kDownloaded, kFailed, kCancelled, kInstalled, kInstalling, kUnconfirmed, kPaused
};

}  // namespace

Rect intersect(const Rect& a, const Rect& b)
{
    Rect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

int clampScroll(int offset, int maximum)
{
    return std::max(0, std::min(offset, std::max(0, maximum)));
}

int maxScroll(int contentHeight, int top, int clientHeight)
{
    return std::max(0, contentHeight + top - clientHeight + kBottomMargin);
}

Rect thumbRect(int left, int right, int top, int visible, int content, int offset, int maximum, int minLength)
{
    if (content < 1 || maximum < 1) return {};
    int length = std::max(minLength, static_cast<int>(static_cast<int64_t>(visible) * visible / content));
    int thumbTop = top + static_cast<int>(static_cast<int64_t>(visible - length) * offset / maximum);
    return {left, thumbTop, right, thumbTop + length};
}

Rect windowButtonRect(WindowButton button, int width)
{
    int right = width - 46 * (2 - static_cast<int>(button));
    return {right - 46, 0, right, kTitleBarHeight};
}

Rect downloadsButtonRect(int width) { return {width - 370, 14, width - 266, 50}; }
Rect settingsButtonRect(int width) { return {width - 256, 14, width - 152, 50}; }
Rect badgeRect(int width) { return {width - 282, 10, width - 258, 34}; }

SidebarLayout sidebarLayout(int categoryCount, int clientHeight, int scroll)
{
    SidebarLayout s;
    s.count = categoryCount;
    s.content = categoryCount > 0 ? kSidebarPitch * categoryCount - 6 : 0;
    s.visible = clientHeight - (kSidebarTop + kBottomMargin);
    s.maximum = maxScroll(s.content, kSidebarTop, clientHeight);
    s.scroll = clampScroll(scroll, s.maximum);
    s.clipBottom = clientHeight - kBottomMargin;
    return s;
}

Rect sidebarRowRect(const SidebarLayout& layout, int index)
{
    int top = kSidebarTop + kSidebarPitch * index - layout.scroll;
    return {12, top, 188, top + kSidebarRowHeight};
}

bool sidebarRowVisible(const SidebarLayout& layout, int index)
{
    Rect row = sidebarRowRect(layout, index);
    return row.bottom > layout.clipTop && row.top < layout.clipBottom;
}

Rect sidebarRowZone(const SidebarLayout& layout, int index)
{
    Rect row = sidebarRowRect(layout, index);
    return {row.left, std::max(row.top, layout.clipTop), row.right, std::min(row.bottom, layout.clipBottom)};
}

Rect sidebarTrackRect(const SidebarLayout& layout) { return {193, layout.clipTop, 197, layout.clipBottom}; }

Rect sidebarThumbRect(const SidebarLayout& layout)
{
    return thumbRect(193, 197, layout.clipTop, layout.visible, layout.content, layout.scroll, layout.maximum,
                     kSidebarThumbMin);
}

int gridColumns(int clientWidth) { return clientWidth >= 1132 ? (clientWidth - 252) / 220 : 3; }

GridLayout gridLayout(int clientWidth, int clientHeight, bool hasHeading, int count, int scroll)
{
    GridLayout g;
    g.width = clientWidth;
    g.height = clientHeight;
    g.top = hasHeading ? 126 : 78;
    g.columns = std::max(1, gridColumns(clientWidth));
    g.cardWidth = (clientWidth - 252 - kCardGap * (g.columns - 1)) / g.columns;
    g.count = count;
    int rows = (count + g.columns - 1) / g.columns;
    g.content = rows * kCardPitch;
    g.maximum = maxScroll(g.content, g.top, clientHeight);
    g.scroll = clampScroll(scroll, g.maximum);
    return g;
}

Rect cardRect(const GridLayout& layout, int index)
{
    int column = index % layout.columns;
    int row = index / layout.columns;
    int left = kGridLeft + (layout.cardWidth + kCardGap) * column;
    int top = layout.top + kCardPitch * row - layout.scroll;
    return {left, top, left + layout.cardWidth, top + kCardHeight};
}

bool cardVisible(const GridLayout& layout, int index)
{
    Rect card = cardRect(layout, index);
    return card.top < layout.height && card.bottom > layout.top;
}

Rect gridClipRect(const GridLayout& layout) { return {212, layout.top, layout.width - 12, layout.height}; }
Rect gridTrackRect(const GridLayout& layout) { return {layout.width - 19, layout.top, layout.width - 15, layout.height}; }

Rect gridThumbRect(const GridLayout& layout)
{
    return thumbRect(layout.width - 19, layout.width - 15, layout.top, layout.height - layout.top, layout.content,
                     layout.scroll, layout.maximum, kGridThumbMin);
}

Rect cardIconRect(const Rect& card)
{
    int left = card.left + (card.width() - 84) / 2;
    return {left, card.top + 16, left + 84, card.top + 100};
}

Rect cardButtonRect(const Rect& card)
{
    int left = card.left + (card.width() - 100) / 2;
    return {left, card.top + 188, left + 100, card.top + 220};
}

NameLine cardNameLine(const Rect& card, int nameWidth, int versionWidth, bool hasVersion)
{
    NameLine line;
    int top = card.top + 104;
    int bottom = card.top + 128;
    int inner = card.width() - 16;
    if (!hasVersion) {
        line.name = {card.left + 8, top, card.right - 8, bottom};
        return line;
    }
    if (nameWidth + versionWidth + 5 <= inner) {
        line.grouped = true;
        int left = card.left + 8 + (inner - (nameWidth + versionWidth + 5)) / 2;
        line.name = {left, top, left + nameWidth, bottom};
        line.version = {left + nameWidth + 5, top, left + nameWidth + 5 + versionWidth, bottom};
        return line;
    }
    line.version = {card.right - 8 - versionWidth, top, card.right - 8, bottom};
    line.name = {card.left + 8, top, line.version.left - 5, bottom};
    return line;
}

int transferPercent(int64_t received, int64_t size)
{
    if (size < 1) return 0;
    return static_cast<int>(received * 100 / size);
}

Rect reloadButtonRect(int clientWidth)
{
    int centre = (clientWidth + kSidebarWidth) / 2;
    return {centre - 60, 294, centre + 60, 326};
}

Rect toastRect(int clientWidth) { return {(clientWidth - 360) / 2, 80, (clientWidth + 360) / 2, 122}; }

Rect bannerRect(int clientWidth, int clientHeight)
{
    return {clientWidth - 356, clientHeight - 104, clientWidth - 20, clientHeight - 20};
}

PanelLayout panelLayout(int clientWidth, int clientHeight, int taskCount, int scroll)
{
    PanelLayout p;
    p.width = clientWidth;
    p.height = clientHeight;
    p.count = taskCount;
    p.content = kPanelRowPitch * taskCount;
    p.maximum = maxScroll(p.content, kPanelTop, clientHeight);
    p.scroll = clampScroll(scroll, p.maximum);
    return p;
}

int panelRowLine(const PanelLayout& layout, int index) { return kPanelFirstLine + kPanelRowPitch * index - layout.scroll; }

Rect panelRowCard(const PanelLayout& layout, int index)
{
    int y = panelRowLine(layout, index);
    return {220, y - 58, layout.width - 20, y + 28};
}

bool panelRowVisible(const PanelLayout& layout, int index)
{
    Rect row = panelRowCard(layout, index);
    return row.top < layout.height && row.bottom > kPanelTop;
}

Rect panelClipRect(const PanelLayout& layout) { return {kSidebarWidth, kPanelTop, layout.width, layout.height}; }
Rect panelTrackRect(const PanelLayout& layout) { return {layout.width - 19, kPanelTop, layout.width - 15, layout.height}; }

Rect panelThumbRect(const PanelLayout& layout)
{
    return thumbRect(layout.width - 19, layout.width - 15, kPanelTop, layout.height - kPanelTop, layout.content,
                     layout.scroll, layout.maximum, kGridThumbMin);
}

int panelProgressWidth(int percent, int clientWidth)
{
    // More bytes than announced must not run the fill past its track.
    return std::min(percent, 100) * (clientWidth - 558) / 100;
}

std::vector<PanelButton> panelRowButtons(int32_t taskState, bool isArchive, int c, int y)
{
    auto button = [&](int left, int right, PanelAction action, bool filled) {
        return PanelButton{{left, y - 30, right, y}, action, filled};
    };
    switch (taskState) {
    case kDownloading:
        return {button(c - 196, c - 120, PanelAction::Pause, false),
                button(c - 112, c - 36, PanelAction::Cancel, false)};
    case kVerifying: return {button(c - 112, c - 36, PanelAction::Cancel, false)};
    case kPaused:
        return {button(c - 196, c - 120, PanelAction::Cancel, false),
                button(c - 112, c - 36, PanelAction::Resume, true)};
    case kDownloaded:
    case kUnconfirmed:
        if (isArchive) return {button(c - 136, c - 36, PanelAction::OpenFolder, false)};
        return {button(c - 198, c - 122, PanelAction::OpenFolder, false),
                button(c - 112, c - 36, PanelAction::Install, true)};
    case kInstalled:
    case kInstalling: return {button(c - 136, c - 36, PanelAction::OpenFolder, false)};
    case kFailed:
    case kCancelled: return {button(c - 112, c - 36, PanelAction::Retry, true)};
    default: return {};
    }
}

Rect panelClearButtonRect(int c) { return {c - 120, 86, c - 24, 112}; }
Rect panelOpenFolderButtonRect(int c) { return {c - 102, 120, c - 24, 146}; }
Rect panelChangeFolderButtonRect(int c) { return {c - 188, 120, c - 110, 146}; }

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
constexpr int kCardInset = 8;

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
Rect headerButtonLabelRect(const Rect& button) { return {button.left + 36, button.top, button.right - 6, button.bottom}; }
Rect logoRect() { return {22, 8, 70, 56}; }
Rect productNameRect() { return {84, 0, 284, kTitleBarHeight}; }
Rect titleSeparatorRect() { return {232, 22, 233, 42}; }
Rect taglineRect() { return {246, 0, 466, kTitleBarHeight}; }

Rect searchFieldRect(int width)
{
    const int right = width - 390;
    const int left = std::max(taglineRect().left, std::min(480, right - kMinSearchFieldWidth));
    if (right <= left) return {};
    return {left, 13, right, 47};
}

Rect searchTextRect(const Rect& field)
{
    if (field.width() <= 0) return {};
    return {field.left + 30, field.top + 7, std::max(field.left + 30, field.right - 28), field.bottom - 7};
}

Rect searchClearRect(const Rect& field)
{
    if (field.width() <= 0) return {};
    return {field.right - 28, field.top, field.right, field.bottom};
}

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
Rect sidebarAccentBar(const Rect& row) { return {row.left, row.top + 10, row.left + 3, row.top + 32}; }

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

Rect cardNameRect(const Rect& card)
{
    return {card.left + kCardInset, card.top + 104, card.right - kCardInset, card.top + 128};
}

Rect cardDescriptionRect(const Rect& card)
{
    return {card.left + kCardInset, card.top + 130, card.right - kCardInset, card.top + 150};
}

Rect cardMetaRect(const Rect& card)
{
    return {card.left + kCardInset, card.top + 152, card.right - kCardInset, card.top + 172};
}

Rect cardDividerRect(const Rect& card) { return {card.left + 18, card.top + 180, card.right - 18, card.top + 181}; }

NameLine cardNameLine(const Rect& card, int nameWidth, int versionWidth, bool hasVersion)
{
    NameLine line;
    const Rect whole = cardNameRect(card);
    const int inner = whole.width();
    if (!hasVersion) {
        line.name = whole;
        return line;
    }
    if (nameWidth + versionWidth + 5 <= inner) {
        line.grouped = true;
        int left = whole.left + (inner - (nameWidth + versionWidth + 5)) / 2;
        line.name = {left, whole.top, left + nameWidth, whole.bottom};
        line.version = {left + nameWidth + 5, whole.top, left + nameWidth + 5 + versionWidth, whole.bottom};
        return line;
    }
    // A version wider than the whole line takes all of it (cut at its end)
    // and leaves the name no room, rather than reaching into the next card.
    const int versionLeft = std::max(whole.left, whole.right - versionWidth);
    line.version = {versionLeft, whole.top, whole.right, whole.bottom};
    line.name = {whole.left, whole.top, std::max(whole.left, versionLeft - 5), whole.bottom};
    return line;
}

Rect contentLineRect(int clientWidth, int top, int bottom) { return {kSidebarWidth, top, clientWidth, bottom}; }
Rect pageHeadingRect(int clientWidth) { return {212, 78, clientWidth - 12, 118}; }

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

Rect bannerIconRect(int w, int h) { return {w - 342, h - 84, w - 298, h - 40}; }
Rect bannerTitleRect(int w, int h) { return {w - 286, h - 91, w - 34, h - 67}; }
Rect bannerSubLineRect(int w, int h) { return {w - 286, h - 61, w - 34, h - 37}; }

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

Rect panelRowIconRect(int y) { return {236, y - 39, 284, y + 9}; }
Rect panelRowNameRect(int c, int y) { return {298, y - 46, c - 260, y - 22}; }
Rect panelRowTrackRect(int c, int y) { return {298, y - 12, c - 260, y - 6}; }
Rect panelRowStatusRect(int c, int y) { return {298, y - 2, c - 260, y + 18}; }

std::vector<PanelButton> panelRowButtons(int32_t taskState, bool isArchive, int c, int y)
{
    auto button = [&](int left, int right, PanelAction action, bool filled) {
        return PanelButton{{left, y - 30, right, y}, action, filled};
    };
    switch (taskState) {
    case TaskState::Downloading:
        return {button(c - 196, c - 120, PanelAction::Pause, false),
                button(c - 112, c - 36, PanelAction::Cancel, false)};
    case TaskState::Verifying: return {button(c - 112, c - 36, PanelAction::Cancel, false)};
    case TaskState::Paused:
        return {button(c - 196, c - 120, PanelAction::Cancel, false),
                button(c - 112, c - 36, PanelAction::Resume, true)};
    case TaskState::Downloaded:
    case TaskState::InstallUnconfirmed:
        if (isArchive) return {button(c - 136, c - 36, PanelAction::OpenFolder, false)};
        return {button(c - 198, c - 122, PanelAction::OpenFolder, false),
                button(c - 112, c - 36, PanelAction::Install, true)};
    case TaskState::Installed:
    case TaskState::Installing: return {button(c - 136, c - 36, PanelAction::OpenFolder, false)};
    case TaskState::Failed:
    case TaskState::Cancelled: return {button(c - 112, c - 36, PanelAction::Retry, true)};
    default: return {};
    }
}

Rect panelClearButtonRect(int c) { return {c - 120, 86, c - 24, 112}; }
Rect panelOpenFolderButtonRect(int c) { return {c - 102, 120, c - 24, 146}; }
Rect panelChangeFolderButtonRect(int c) { return {c - 188, 120, c - 110, 146}; }
Rect panelHeadingRect(int c) { return {224, 82, c - 200, 116}; }
Rect panelFolderLabelRect() { return {224, 122, 300, 146}; }
Rect panelFolderPathRect(int c) { return {300, 122, c - 250, 146}; }

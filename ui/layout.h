#pragma once
// Where everything of the main window sits, as plain arithmetic on the client
// size and the scroll offsets. No window needed, so it is tested natively.

#include <cstdint>
#include <vector>

#include "download/task_state.h"

struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    bool operator==(const Rect& o) const
    {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

// The overlap of two rectangles; empty (width or height 0) when they miss.
Rect intersect(const Rect& a, const Rect& b);

constexpr int kTitleBarHeight = 64;
constexpr int kSidebarWidth = 200;

// Offset pulled into [0, maximum]; a negative maximum counts as 0.
int clampScroll(int offset, int maximum);
// Largest offset of a list whose content starts at top and must end 14 px
// above the bottom edge of a client of the given height.
int maxScroll(int contentHeight, int top, int clientHeight);
// Scrollbar thumb in a track (left..right, top..top+visible): length
// max(minLength, visible² / content), moved along by offset / maximum.
Rect thumbRect(int left, int right, int top, int visible, int content, int offset, int maximum, int minLength);

// ---- title bar
enum class WindowButton { Minimize, MaximizeRestore, Close };
Rect windowButtonRect(WindowButton button, int width);
Rect downloadsButtonRect(int width);
Rect settingsButtonRect(int width);
Rect badgeRect(int width);
// The label of a header button, right of its glyph.
Rect headerButtonLabelRect(const Rect& button);
Rect logoRect();
Rect productNameRect();
Rect titleSeparatorRect();
Rect taglineRect();

// ---- the search field in the title band: (480, 13)-(W - 390, 47), never
// narrower than it is at the smallest window (130) while the title band has
// room: it grows to the left over the tagline's place instead.
constexpr int kMinSearchFieldWidth = 130;
Rect searchFieldRect(int width);
// The text: between the magnifier at the left and the clear glyph at the right.
Rect searchTextRect(const Rect& field);
// The clear glyph's zone at the right end.
Rect searchClearRect(const Rect& field);

// ---- sidebar: category rows from y 78 at a pitch of 48, clipped to (0, 78)-(200, H-14)
struct SidebarLayout {
    int count = 0;
    int scroll = 0;   // clamped
    int maximum = 0;
    int content = 0;  // 48 n - 6
    int visible = 0;  // H - 92
    int clipTop = 78;
    int clipBottom = 0;
};
SidebarLayout sidebarLayout(int categoryCount, int clientHeight, int scroll);
// The row's full rectangle (may reach outside the clip).
Rect sidebarRowRect(const SidebarLayout& layout, int index);
bool sidebarRowVisible(const SidebarLayout& layout, int index);
// The row's clickable part: the row cut to the clip band.
Rect sidebarRowZone(const SidebarLayout& layout, int index);
Rect sidebarTrackRect(const SidebarLayout& layout);
// The selected row's accent bar at its left edge.
Rect sidebarAccentBar(const Rect& row);
Rect sidebarThumbRect(const SidebarLayout& layout);

// ---- catalog grid
int gridColumns(int clientWidth);
struct GridLayout {
    int width = 0;
    int height = 0;
    int top = 0;       // 126 below a heading, 78 without one
    int columns = 0;
    int cardWidth = 0;
    int count = 0;
    int content = 0;
    int maximum = 0;
    int scroll = 0;    // clamped
};
GridLayout gridLayout(int clientWidth, int clientHeight, bool hasHeading, int count, int scroll);
Rect cardRect(const GridLayout& layout, int index);
bool cardVisible(const GridLayout& layout, int index);
Rect gridClipRect(const GridLayout& layout);
Rect gridTrackRect(const GridLayout& layout);
Rect gridThumbRect(const GridLayout& layout);

// ---- one card, from its rectangle
Rect cardIconRect(const Rect& card);
Rect cardButtonRect(const Rect& card);
Rect cardNameRect(const Rect& card);
Rect cardDescriptionRect(const Rect& card);
Rect cardMetaRect(const Rect& card);
// The divider line runs along this rectangle's top edge.
Rect cardDividerRect(const Rect& card);
// Name and version on one line: drawn as one centred group when both fit,
// else the version sits whole at the right and the name is cut before it. A
// version wider than the card itself is cut too: nothing leaves the card.
struct NameLine {
    bool grouped = false;
    Rect name;
    Rect version;  // empty when there is no version
};
NameLine cardNameLine(const Rect& card, int nameWidth, int versionWidth, bool hasVersion);

// ---- content states and overlays
// A centred message line across the content area, from top to bottom.
Rect contentLineRect(int clientWidth, int top, int bottom);
Rect pageHeadingRect(int clientWidth);
Rect reloadButtonRect(int clientWidth);
Rect toastRect(int clientWidth);
Rect bannerRect(int clientWidth, int clientHeight);
Rect bannerIconRect(int clientWidth, int clientHeight);
Rect bannerTitleRect(int clientWidth, int clientHeight);
Rect bannerSubLineRect(int clientWidth, int clientHeight);

// ---- download-manager page: rows from reference line 216 at a pitch of 96,
// scrolled like the grid below the header band that ends at y 158
constexpr int kPanelTop = 158;
constexpr int kPanelRowPitch = 96;
struct PanelLayout {
    int width = 0;
    int height = 0;
    int count = 0;
    int content = 0;
    int maximum = 0;
    int scroll = 0;  // clamped
};
PanelLayout panelLayout(int clientWidth, int clientHeight, int taskCount, int scroll);
// Reference line of row k.
int panelRowLine(const PanelLayout& layout, int index);
Rect panelRowCard(const PanelLayout& layout, int index);
bool panelRowVisible(const PanelLayout& layout, int index);
Rect panelClipRect(const PanelLayout& layout);
Rect panelTrackRect(const PanelLayout& layout);
Rect panelThumbRect(const PanelLayout& layout);
// Width of the progress fill over the track of a page c wide (at most the track).
int panelProgressWidth(int percent, int clientWidth);
// The parts of the row whose reference line is y, on a page c wide.
Rect panelRowIconRect(int rowLine);
Rect panelRowNameRect(int clientWidth, int rowLine);
Rect panelRowTrackRect(int clientWidth, int rowLine);
Rect panelRowStatusRect(int clientWidth, int rowLine);

// The row buttons; the action values are the hit kinds they record.
enum class PanelAction : int32_t { Cancel = 11, Install = 12, OpenFolder = 13, Retry = 14, Pause = 21, Resume = 22 };
struct PanelButton {
    Rect rect;
    PanelAction action;
    bool filled;
};
std::vector<PanelButton> panelRowButtons(int32_t taskState, bool isArchive, int clientWidth, int rowLine);
Rect panelClearButtonRect(int clientWidth);
Rect panelOpenFolderButtonRect(int clientWidth);
Rect panelChangeFolderButtonRect(int clientWidth);
Rect panelHeadingRect(int clientWidth);
Rect panelFolderLabelRect();
Rect panelFolderPathRect(int clientWidth);

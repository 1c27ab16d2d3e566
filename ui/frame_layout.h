#pragma once
// One frame of the main window laid out: every rectangle the painters draw,
// every hit zone, the text that may be cut, the focus order and the clamped
// scroll offsets, from the view state, what the frame shows, the client size
// and the scale. Painting, hit-testing, the cursor, keyboard focus and the
// tests read this one result; nothing else places anything.
//
// Rectangles are in layout units (the design's 96-DPI numbers); zones carry
// their pixels too, converted by the frame's one Scale. Platform-free.

#include <cstdint>
#include <vector>

#include "ui/hit_kind.h"
#include "ui/layout.h"
#include "ui/scale.h"

enum class Page : int32_t { Catalog = 0, Downloads = 1 };

// What a download row needs to place its buttons.
struct LayoutTask {
    int32_t id = 0;
    int32_t state = 0;
    bool isArchive = false;
};

struct LayoutInput {
    int pixelWidth = 0;  // the client area
    int pixelHeight = 0;
    Scale scale;
    Page page = Page::Catalog;
    bool loading = false;
    bool loadFailed = false;
    int categoryCount = 0;
    int selectedCategory = -1;       // the row drawn selected; -1: none
    std::vector<int32_t> shownApps;  // the grid's apps by id, in order
    std::vector<LayoutTask> tasks;   // the download rows, in order
    // Layout units, as the view holds them; clamped by the layout.
    int sidebarScroll = 0;
    int listScroll = 0;
    int panelScroll = 0;
    bool toastUp = false;
    bool bannerUp = false;
    bool searchHasText = false;  // the search field holds text: its clear glyph shows
};

enum class Content { Loading, LoadFailed, Grid, Downloads };

struct LayoutZone {
    Rect rect;    // layout units, cut to the part that is visible
    Rect pixels;  // the same in client pixels
    HitKind kind = HitKind::None;
    int32_t id = 0;

    ZoneRef ref() const { return {kind, id}; }
};

enum class ScrollTarget { None, Sidebar, Grid, Panel };

// A scrolled list and its scrollbar (track and thumb empty when it fits).
struct ScrollArea {
    ScrollTarget target = ScrollTarget::None;
    int scroll = 0;  // clamped
    int maximum = 0;
    int visible = 0;  // the length shown at once: one page
    int content = 0;
    Rect track;
    Rect thumb;
};

struct SidebarRow {
    int index = 0;
    Rect row;  // whole, may reach outside the band
    bool selected = false;
};

struct CardSlot {
    int index = 0;  // in LayoutInput::shownApps
    int32_t appId = 0;
    Rect card;
};

struct PanelRow {
    int index = 0;  // in LayoutInput::tasks
    int32_t taskId = 0;
    int line = 0;  // the row's reference line
    Rect card;
    std::vector<PanelButton> buttons;
};

// Text drawn with an end ellipsis: a tooltip shows it whole when it is cut.
enum class TextSpotKind { CategoryName, CardName, TaskName, TaskStatus, DownloadFolder, BannerTitle };
struct TextSpot {
    Rect rect;  // layout units, the visible part
    TextSpotKind kind = TextSpotKind::CardName;
    int32_t id = 0;  // category index, app id, task id; else 0
};

struct FrameLayout {
    Scale scale;
    int width = 0;  // layout units covering the client
    int height = 0;
    int pixelWidth = 0;
    int pixelHeight = 0;
    Page page = Page::Catalog;
    Content content = Content::Loading;

    // Title bar.
    Rect titleBar, logo, productName, separator, tagline;
    Rect minimize, maximize, close, downloadsButton, settingsButton, badge;
    Rect searchField, searchText, searchClear;  // searchClear is empty while the field is empty

    // Sidebar.
    Rect sidebar;  // background below the title bar
    Rect sidebarClip;
    SidebarLayout sidebarGeometry;
    std::vector<SidebarRow> sidebarRows;  // the visible ones
    ScrollArea sidebarScroll;

    // Content area: message lines of the loading, error and empty states.
    Rect messageLine, secondLine, reloadButton;
    Rect heading;  // the grid's or the download page's
    GridLayout grid;
    Rect gridClip;
    std::vector<CardSlot> cards;  // the visible ones
    Rect clearButton, folderLabel, folderPath, openFolderButton, changeFolderButton;
    PanelLayout panel;
    Rect panelClip;
    std::vector<PanelRow> panelRows;  // the visible ones
    ScrollArea pageScroll;            // the grid's or the download rows'

    // Overlays.
    bool toastUp = false;
    Rect toast;
    bool bannerUp = false;
    Rect banner, bannerIcon, bannerTitle, bannerSubLine;

    std::vector<LayoutZone> zones;  // in drawing order: later ones lie on top
    std::vector<TextSpot> textSpots;
    // Everything the keyboard can reach, scrolled out of sight or not, in Tab order.
    std::vector<ZoneRef> focusOrder;
    std::vector<int32_t> shownApps;  // as given, for finding a card off screen
    std::vector<int32_t> taskIds;
    // The view's offsets after this frame: clamped where the list was laid
    // out, as given where it was not.
    int sidebarOffset = 0;
    int listOffset = 0;
    int panelOffset = 0;
};

FrameLayout layoutFrame(const LayoutInput& input);

// The zone under a client pixel (the last recorded wins), or null.
const LayoutZone* zoneAt(const FrameLayout& layout, int pixelX, int pixelY);
// The visible zone of a thing, or null.
const LayoutZone* findZone(const FrameLayout& layout, ZoneRef ref);
// The corner radius a zone's button is drawn with, for its pressed look and
// focus ring.
float zoneRadius(HitKind kind);

// Overlays are shown while young enough (tick counts; right across a wrap).
bool toastIsUp(uint32_t now, uint32_t shownAt, bool hasText);
bool bannerIsUp(uint32_t now, uint32_t shownAt, bool hasTitle);

// ---- scrolling with the pointer and the keys, clamped to the area
int scrollBy(const ScrollArea& area, int delta);
// The part of the track the pointer grabs: wider than the drawn 4 units.
Rect scrollGrabRect(const ScrollArea& area);
// A press on the track outside the thumb pages towards the press.
int trackPageScroll(const ScrollArea& area, int y);
// The thumb dragged by dy layout units from where it was at startScroll.
int thumbDragScroll(const ScrollArea& area, int startScroll, int dy);

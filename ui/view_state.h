#pragma once
// What the main window shows and where it can be clicked. Owned and touched by
// the UI thread only; worker threads post messages instead.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "net/catalog.h"
#include "ui/frame_layout.h"
#include "ui/hit_kind.h"
#include "ui/press_rule.h"

enum class ToastKind : int32_t { Neutral = 0, Success = 1, Error = 2 };

// A clickable area of the frame on screen, in client pixels.
struct HitZone {
    RECT rect;
    HitKind kind;
    int32_t id;
};

struct Toast {
    uint32_t shownAt = 0;
    ToastKind kind = ToastKind::Neutral;
    std::wstring text;  // empty: no toast
};

struct CompletionBanner {
    uint32_t shownAt = 0;
    int32_t appId = 0;
    bool isArchive = false;
    std::wstring title;  // empty: no banner
    bool md5Ok = false;
};

// The 13 fonts of the main window at its scale (owned by a FontSet, ui/fonts.h).
struct Fonts {
    HFONT title = nullptr;         // 22, bold: product name
    HFONT logoGlyph = nullptr;     // 19, bold: fallback logo letter
    HFONT tagline = nullptr;       // 13
    HFONT strong = nullptr;        // 16, bold: names, error heading, banner title
    HFONT body = nullptr;          // 14
    HFONT small = nullptr;         // 13: badge, meta line, folder line
    HFONT button = nullptr;        // 14: button labels
    HFONT heading = nullptr;       // 20, bold: page headings
    HFONT sidebar = nullptr;       // 15: category names
    HFONT status = nullptr;        // 14: panel status line
    HFONT toast = nullptr;         // 14
    HFONT iconLetter = nullptr;    // 32, bold: icon placeholder letter
    HFONT headerButton = nullptr;  // 15: the two title-bar buttons
};

enum class LogoState : int32_t { NotTried = 0, Absent = 1, Loaded = 2 };

// The scrollbar thumb held with the mouse.
struct ThumbDrag {
    ScrollTarget target = ScrollTarget::None;  // None: no drag
    int startY = 0;                            // client pixels
    int startScroll = 0;
};

struct ViewState {
    HWND mainWindow = nullptr;
    HWND shadowWindow = nullptr;
    HWND tooltip = nullptr;  // shows text cut with an ellipsis
    Scale scale;             // the window's DPI
    Fonts fonts;
    // The frame on screen: laid out before it was painted, read by
    // hit-testing, the cursor and the keyboard until the next one.
    FrameLayout layout;
    // Its zones in client pixels, in drawing order; later entries lie on top
    // of earlier ones.
    std::vector<HitZone> hitZones;
    CompletionBanner banner;
    Toast toast;
    // hoverKind and hoverId keep their last values while hovering is false.
    HitKind hoverKind = HitKind::None;
    int32_t hoverId = 0;
    bool hovering = false;
    Press press;         // the zone the left button went down on
    ThumbDrag thumbDrag;
    ZoneRef focus;       // keyboard focus
    bool focusVisible = false;  // its ring shows once the keyboard is used
    // Layout units; each frame's layout clamps them.
    int32_t sidebarScroll = 0;
    int32_t listScroll = 0;
    int32_t panelScroll = 0;  // download-manager page; reset when it is entered
    bool loadFailed = false;
    bool loading = false;
    Page page = Page::Catalog;
    std::wstring currentCategoryId;
    // The search field (ui/search_field.h): its edit control shows only while
    // it has the keyboard focus; the frame draws the field, and its text otherwise.
    HWND searchEdit = nullptr;
    bool searchFocused = false;
    std::wstring searchText;
    // The grid's apps while searchText has words: the local matches, then the
    // apps the server's answer adds. No category is shown meanwhile.
    AppList searchResults;
    int32_t categoryScroll = 0;  // the category's listScroll when the search began
    LogoState logoState = LogoState::NotTried;
    void* logo = nullptr;  // GpBitmap* once loaded, kept for the run
    SIZE shadowSize{0, 0};
    int shadowDpi = 0;  // the scale its rings were drawn at
};

// The field holds words: the catalog page shows their results.
inline bool isSearching(const ViewState& view) { return hasSearchWords(view.searchText); }

// Process-wide objects of the window. They are never destroyed: detached
// workers may still use the catalog while the process exits.
ViewState& viewState();
Catalog& appCatalog();

// The toast on the main window: replaces any shown one and repaints. UI thread.
void showToast(const std::wstring& text, ToastKind kind);

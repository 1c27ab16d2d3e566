#pragma once
// What the main window shows and where it can be clicked. Owned and touched by
// the UI thread only; worker threads post messages instead.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "net/catalog.h"

enum class ToastKind : int32_t { Neutral = 0, Success = 1, Error = 2 };

// Clickable areas recorded while painting; `id` carries the app id for the
// card and panel buttons, the category index for sidebar rows, else 0.
enum class HitKind : int32_t {
    None = 0,
    CategoryRow = 1,
    Minimize = 3,
    MaximizeRestore = 4,
    Close = 5,
    DownloadsButton = 6,
    SettingsButton = 7,
    CardButton = 8,
    PanelCancel = 11,
    PanelInstall = 12,
    PanelOpenFolder = 13,
    PanelRetry = 14,
    PanelClearFinished = 15,
    Reload = 16,
    PanelChangeFolder = 18,
    PanelOpenDownloadFolder = 19,
    Banner = 20,
    PanelPause = 21,
    PanelResume = 22,
};

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

// The 13 fonts of the main window, made once by createMainWindow.
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

enum class Page : int32_t { Catalog = 0, Downloads = 1 };

enum class LogoState : int32_t { NotTried = 0, Absent = 1, Loaded = 2 };

struct ViewState {
    HWND mainWindow = nullptr;
    HWND shadowWindow = nullptr;
    Fonts fonts;
    // Emptied at the start of every paint and refilled in drawing order; later
    // entries lie on top of earlier ones.
    std::vector<HitZone> hitZones;
    CompletionBanner banner;
    Toast toast;
    // hoverKind and hoverId keep their last values while hovering is false.
    HitKind hoverKind = HitKind::None;
    int32_t hoverId = 0;
    bool hovering = false;
    // Pixel offsets, clamped by the painters on every paint.
    int32_t sidebarScroll = 0;
    int32_t listScroll = 0;
    int32_t panelScroll = 0;  // download-manager page; reset when it is entered
    bool loadFailed = false;
    bool loading = false;
    Page page = Page::Catalog;
    std::wstring currentCategoryId;
    LogoState logoState = LogoState::NotTried;
    void* logo = nullptr;  // GpBitmap* once loaded, kept for the run
    SIZE shadowSize{0, 0};
};

// Process-wide objects of the window. They are never destroyed: detached
// workers may still use the catalog while the process exits.
ViewState& viewState();
Catalog& appCatalog();

// The toast on the main window: replaces any shown one and repaints. UI thread.
void showToast(const std::wstring& text, ToastKind kind);

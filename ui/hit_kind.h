#pragma once
// What a clickable area of the main window does. Platform-free.

#include <cstdint>

// `id` of a zone carries the app id for the card and panel buttons, the
// category index for sidebar rows, else 0.
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
    SearchField = 23,
    SearchClear = 24,  // the glyph that empties the search field
};

// One clickable thing of a frame: a kind and its id. Keyboard focus and a
// held mouse button name the zone they are on this way, so they survive a
// new layout.
struct ZoneRef {
    HitKind kind = HitKind::None;
    int32_t id = 0;

    bool empty() const { return kind == HitKind::None; }
    bool operator==(const ZoneRef& o) const { return kind == o.kind && id == o.id; }
    bool operator!=(const ZoneRef& o) const { return !(*this == o); }
};

// The buttons in a download row: their zones swap when the task's state does.
constexpr bool isPanelRowButton(HitKind kind)
{
    return kind == HitKind::PanelCancel || kind == HitKind::PanelInstall || kind == HitKind::PanelOpenFolder ||
           kind == HitKind::PanelRetry || kind == HitKind::PanelPause || kind == HitKind::PanelResume;
}

// The window's own buttons in the title band.
constexpr bool isTitleBarButton(HitKind kind)
{
    return kind == HitKind::Minimize || kind == HitKind::MaximizeRestore || kind == HitKind::Close ||
           kind == HitKind::DownloadsButton || kind == HitKind::SettingsButton;
}

// The search field and its clear glyph: a press there belongs to the field,
// not to a button.
constexpr bool isSearchZone(HitKind kind) { return kind == HitKind::SearchField || kind == HitKind::SearchClear; }

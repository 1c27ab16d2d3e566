#pragma once
// What one frame of the main window is painted from, and the canvas the
// painters share. The painters read only what they are given here, so a test
// can paint any prepared state into a memory DC.

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "download/download_manager.h"
#include "install/installed_apps.h"
#include "net/catalog.h"
#include "ui/layout.h"
#include "ui/view_state.h"

struct FrameInput {
    FrameInput(ViewState& view, Catalog& catalog) : view(view), catalog(catalog) {}

    ViewState& view;    // hit zones are refilled, scrolls clamped, expired overlays cleared
    Catalog& catalog;   // icon loads mark the records they start
    std::map<int32_t, TaskView> tasks;
    std::wstring serverUrl;
    std::wstring downloadFolder;
    bool maximized = false;
    uint32_t now = 0;              // tick count the overlays are timed against
    HWND iconWindow = nullptr;     // told when an icon arrives; null: icons are not fetched
    const InstalledApps* installed = nullptr;  // the adopted snapshot; null: nothing counts as installed
};

struct Canvas {
    Canvas(HDC dc, Gdiplus::GpGraphics* graphics, FrameInput& input, int width, int height)
        : dc(dc), g(graphics), input(input), view(input.view), fonts(input.view.fonts), width(width), height(height)
    {
    }

    HDC dc;
    Gdiplus::GpGraphics* g;
    FrameInput& input;
    ViewState& view;
    const Fonts& fonts;
    int width;
    int height;

    // Zones are cut to zoneClip: a button scrolled out of sight cannot be clicked.
    Rect zoneClip{0, 0, 1 << 30, 1 << 30};

    void addZone(const Rect& rect, HitKind kind, int32_t id = 0)
    {
        Rect r = intersect(rect, zoneClip);
        if (r.width() <= 0 || r.height() <= 0) return;
        view.hitZones.push_back({RECT{r.left, r.top, r.right, r.bottom}, kind, id});
    }
    bool hovered(HitKind kind, int32_t id = 0) const
    {
        return view.hovering && view.hoverKind == kind && view.hoverId == id;
    }
    // The task of an app in this frame's snapshot, or null.
    const TaskView* task(int32_t appId) const
    {
        auto it = input.tasks.find(appId);
        return it == input.tasks.end() ? nullptr : &it->second;
    }
};

// Narrows the canvas's zones to a rectangle for the guard's lifetime.
class ZoneClip {
public:
    ZoneClip(Canvas& canvas, const Rect& rect) : canvas_(canvas), previous_(canvas.zoneClip)
    {
        canvas.zoneClip = intersect(previous_, rect);
    }
    ~ZoneClip() { canvas_.zoneClip = previous_; }
    ZoneClip(const ZoneClip&) = delete;
    ZoneClip& operator=(const ZoneClip&) = delete;

private:
    Canvas& canvas_;
    Rect previous_;
};

// Paints a whole frame of client size into an off-screen bitmap and copies it
// to target in one blit. GDI+ must have been started.
void paintFrame(HDC target, const RECT& client, FrameInput& input);

// ---- the painters, in drawing order
void paintTitleBar(Canvas& canvas);
void paintHeaderButton(Canvas& canvas, const Rect& rect, const std::wstring& label, int iconKind, bool hovered,
                       bool active);
void paintSidebar(Canvas& canvas);
void paintContent(Canvas& canvas);
void paintAppCard(Canvas& canvas, const std::shared_ptr<AppInfo>& app, const Rect& rect, bool hovered);
// The app's icon, or its lettered placeholder (app may be null); starts a lazy
// icon load when the frame has a window to notify.
void paintAppIcon(Canvas& canvas, const std::shared_ptr<AppInfo>& app, const Rect& rect);
void paintDownloadPanel(Canvas& canvas);
void paintToast(Canvas& canvas);
void paintBanner(Canvas& canvas);

// Decodes image bytes into a bitmap that owns its pixels, so neither the
// stream nor the bytes have to outlive it. Null when they are no image.
Gdiplus::GpBitmap* decodeLogo(const void* bytes, DWORD size);
// Decodes the logo (module resource 2) on the first call; later calls do nothing.
void ensureLogoLoaded(ViewState& view);

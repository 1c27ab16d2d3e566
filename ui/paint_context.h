#pragma once
// What one frame of the main window is painted from, and the canvas the
// painters share. A frame is laid out first (layoutFrame, ui/frame_layout.h);
// the painters draw that layout and change nothing, so a test can paint any
// prepared state into a memory DC and read the pixels and the zones back.
//
// Painters work in layout units, as the design gives its numbers; the canvas
// turns every rectangle, coordinate, radius and pen into pixels with the
// frame's scale.

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "download/download_manager.h"
#include "net/catalog.h"
#include "ui/draw.h"
#include "ui/frame_layout.h"
#include "ui/gdi_guards.h"
#include "ui/paint_chrome.h"
#include "ui/view_state.h"

struct FrameInput {
    FrameInput(ViewState& view, Catalog& catalog) : view(view), catalog(catalog) {}

    ViewState& view;   // adopts the frame's layout (zones, clamped scrolls, expired overlays)
    Catalog& catalog;  // icon loads mark the records they start
    std::map<int32_t, TaskView> tasks;
    std::wstring serverUrl;
    std::wstring downloadFolder;
    bool maximized = false;
    uint32_t now = 0;           // tick count the overlays are timed against
    HWND iconWindow = nullptr;  // told when an icon arrives; null: icons are not fetched
    Scale scale;
};

// What the frame shows, gathered once from the input: the grid's apps, its
// heading and its line when it has none.
struct FrameContent {
    std::vector<std::shared_ptr<AppInfo>> shownApps;
    std::wstring heading;
    std::wstring emptyText;
    bool searching = false;  // the search's results instead of a category
};

FrameContent gatherContent(const FrameInput& input);
// Lays out a frame of the given client size from the input.
FrameLayout layoutFrame(const FrameInput& input, const FrameContent& content, int width, int height);
// Makes layout the view's frame on screen: its zones, its clamped scroll
// offsets; overlays whose time is up are cleared and a focus whose zone is
// gone moves on or goes.
void adoptLayout(ViewState& view, const FrameLayout& layout);

class Canvas {
public:
    Canvas(HDC dc, Gdiplus::GpGraphics* graphics, const FrameInput& input, const FrameContent& content,
           const FrameLayout& layout)
        : dc(dc), g(graphics), input(input), view(input.view), fonts(input.view.fonts), content(content),
          layout(layout), scale(layout.scale)
    {
    }

    HDC dc;
    Gdiplus::GpGraphics* g;
    const FrameInput& input;
    const ViewState& view;
    const Fonts& fonts;
    const FrameContent& content;
    const FrameLayout& layout;
    const Scale scale;
    // A memory DC of the frame that icons are copied from; owned by paintFrame.
    HDC iconSource = nullptr;
    // Card and row panels drawn once and copied; owned by paintFrame; may be null.
    ChromeCache* chrome = nullptr;

    Rect px(const Rect& r) const { return scale.px(r); }
    float x(float logical) const { return scale.pxf(logical); }

    void fillRoundRect(const Rect& r, float radius, Argb colour) const;
    void strokeRoundRect(const Rect& r, float radius, Argb colour, float width = 1.0f) const;
    void fillRectangle(const Rect& r, Argb colour) const;
    // Opaque fills through GDI: the large areas.
    void fillOpaque(const Rect& r, TextColor colour) const;
    void fillGradient(const Rect& r, Argb left, Argb right) const;
    void line(Argb colour, float width, float x1, float y1, float x2, float y2) const;
    void polyline(Argb colour, float width, const std::vector<std::pair<float, float>>& points) const;
    void rectangleOutline(Argb colour, float width, float left, float top, float w, float h) const;
    void ellipseOutline(Argb colour, float width, float left, float top, float w, float h) const;
    void image(Gdiplus::GpImage* picture, const Rect& r) const;
    void text(HFONT font, const std::wstring& label, const Rect& r, TextColor colour, UINT format) const;
    // Measured in pixels, given in layout units (rounded up).
    int textWidth(HFONT font, const std::wstring& label) const;
    // A rounded panel from the frame's cache, else drawn directly.
    void panel(const Rect& r, float radius, Argb fill, Argb outline, TextColor under) const;

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

// Narrows drawing on the canvas (DC and GDI+) to a rectangle for the guard's lifetime.
class CanvasClip {
public:
    CanvasClip(const Canvas& canvas, const Rect& rect) : clip_(canvas.dc, canvas.g, canvas.px(rect)) {}

private:
    gdi::Clip clip_;
};

// Lays out a frame of client size from input, makes it the view's frame on
// screen (adoptLayout), paints it into an off-screen bitmap and copies that
// to target in one blit. GDI+ must have been started.
void paintFrame(HDC target, const RECT& client, FrameInput& input);
// Draws a laid-out frame; changes nothing.
void drawFrame(HDC target, const FrameLayout& layout, const FrameInput& input, const FrameContent& content);

// ---- the painters, in drawing order
void paintTitleBar(const Canvas& canvas);
void paintSearchField(const Canvas& canvas);
void paintHeaderButton(const Canvas& canvas, const Rect& rect, const std::wstring& label, int iconKind, bool hovered,
                       bool active);
void paintSidebar(const Canvas& canvas);
void paintContent(const Canvas& canvas);
void paintAppCard(const Canvas& canvas, const std::shared_ptr<AppInfo>& app, const Rect& rect, bool hovered);
// The app's icon, or its lettered placeholder (app may be null); starts a lazy
// icon load when the frame has a window to notify.
void paintAppIcon(const Canvas& canvas, const std::shared_ptr<AppInfo>& app, const Rect& rect);
void paintDownloadPanel(const Canvas& canvas);
// The status line of a download row, as drawn.
std::wstring taskStatusText(const TaskView& task);
// The pressed look of the held button and the keyboard's focus ring.
void paintPressAndFocus(const Canvas& canvas);
void paintToast(const Canvas& canvas);
void paintBanner(const Canvas& canvas);

// Decodes image bytes into a bitmap that owns its pixels, so neither the
// stream nor the bytes have to outlive it. Null when they are no image.
Gdiplus::GpBitmap* decodeLogo(const void* bytes, DWORD size);
// Decodes the logo (module resource 2) on the first call; later calls do nothing.
void ensureLogoLoaded(ViewState& view);

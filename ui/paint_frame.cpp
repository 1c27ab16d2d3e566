#include "ui/paint.h"

#include "core/config.h"
#include "download/download_folder.h"
#include "net/icon_loader.h"
#include "ui/draw.h"
#include "ui/gdi_guards.h"
#include "ui/paint_context.h"
#include "ui/palette.h"

namespace gp = Gdiplus::DllExports;

namespace {

// The off-screen frame: a 32-bit DIB section that GDI text and a GDI+ bitmap
// over the same memory both draw into. GDI+ drawing into a bitmap is many
// times cheaper per call than through a DC, and the 3.6 MB of a full frame
// cost more to make than to paint, so the surface is kept while the size
// stays. UI thread only; never freed, like the fonts.
class FrameSurface {
public:
    bool prepare(int width, int height)
    {
        if (image_ && width == width_ && height == height_) return true;
        release();
        dc_ = CreateCompatibleDC(nullptr);
        void* bits = nullptr;
        if (dc_) bitmap_ = createTopDownDib(dc_, width, height, &bits);
        if (!bitmap_ || !bits) {
            release();
            return false;
        }
        previous_ = SelectObject(dc_, bitmap_);
        // Top-down rows of 4 bytes a pixel: GDI+ sees the same layout.
        if (gp::GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppRGB, static_cast<BYTE*>(bits),
                                          &image_) != Gdiplus::Ok) {
            image_ = nullptr;
            release();
            return false;
        }
        width_ = width;
        height_ = height;
        return true;
    }

    HDC dc() const { return dc_; }
    Gdiplus::GpBitmap* image() const { return image_; }

private:
    void release()
    {
        if (image_) gp::GdipDisposeImage(image_);
        if (previous_) SelectObject(dc_, previous_);
        if (bitmap_) DeleteObject(bitmap_);
        if (dc_) DeleteDC(dc_);
        image_ = nullptr;
        previous_ = nullptr;
        bitmap_ = nullptr;
        dc_ = nullptr;
        width_ = height_ = 0;
    }

    int width_ = 0;
    int height_ = 0;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    Gdiplus::GpBitmap* image_ = nullptr;
};

FrameSurface& frameSurface()
{
    static FrameSurface* surface = new FrameSurface;
    return *surface;
}

}  // namespace

void paintFrame(HDC target, const RECT& client, FrameInput& input)
{
    input.view.hitZones.clear();
    int width = client.right - client.left;
    int height = client.bottom - client.top;
    if (width <= 0 || height <= 0) return;
    // Before any icon is drawn: requests for icons the last frame no longer
    // showed are dropped, and the oldest decoded icons let go.
    beginIconFrame();

    FrameSurface& surface = frameSurface();
    if (!surface.prepare(width, height)) return;
    HDC dc = surface.dc();
    {
        gdi::GdiObject background(CreateSolidBrush(static_cast<COLORREF>(kWindowBackground)));
        RECT all{0, 0, width, height};
        FillRect(dc, &all, static_cast<HBRUSH>(background.get()));
        GdiFlush();
    }

    Gdiplus::GpGraphics* made = nullptr;
    gp::GdipGetImageGraphicsContext(surface.image(), &made);
    gdi::Graphics graphics(made);
    if (!graphics) return;
    gp::GdipSetSmoothingMode(graphics.get(), Gdiplus::SmoothingModeAntiAlias);
    gp::GdipSetTextRenderingHint(graphics.get(), Gdiplus::TextRenderingHintClearTypeGridFit);
    gp::GdipSetInterpolationMode(graphics.get(), Gdiplus::InterpolationModeHighQualityBicubic);

    gdi::MemoryDc iconSource(CreateCompatibleDC(dc));
    ChromeCache chrome;
    Canvas canvas(dc, graphics.get(), input, width, height);
    canvas.iconSource = iconSource.get();
    canvas.chrome = &chrome;
    paintTitleBar(canvas);
    paintSidebar(canvas);
    paintContent(canvas);
    paintToast(canvas);
    paintBanner(canvas);

    gp::GdipFlush(graphics.get(), Gdiplus::FlushIntentionSync);
    GdiFlush();
    BitBlt(target, 0, 0, width, height, dc, 0, 0, SRCCOPY);
}

void paintMainWindow(HDC dc, const RECT& client)
{
    ViewState& view = viewState();
    ensureLogoLoaded(view);
    FrameInput input(view, appCatalog());
    input.tasks = DownloadManager::instance().snapshot();
    input.serverUrl = g_config.server;
    // Resolved (and created) only where it is shown.
    if (view.page == Page::Downloads && !view.loading && !view.loadFailed) input.downloadFolder = downloadFolder();
    input.maximized = view.mainWindow && IsZoomed(view.mainWindow);
    input.now = GetTickCount();
    input.iconWindow = view.mainWindow;
    paintFrame(dc, client, input);
}

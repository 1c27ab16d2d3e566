#include "ui/paint.h"

#include "core/config.h"
#include "download/download_folder.h"
#include "ui/gdi_guards.h"
#include "ui/paint_context.h"
#include "ui/palette.h"

namespace gp = Gdiplus::DllExports;

void paintFrame(HDC target, const RECT& client, FrameInput& input)
{
    input.view.hitZones.clear();
    int width = client.right - client.left;
    int height = client.bottom - client.top;
    if (width <= 0 || height <= 0) return;

    gdi::BackBuffer buffer(target, width, height);
    if (!buffer.valid()) return;
    HDC dc = buffer.dc();
    {
        gdi::GdiObject background(CreateSolidBrush(static_cast<COLORREF>(kWindowBackground)));
        RECT all{0, 0, width, height};
        FillRect(dc, &all, static_cast<HBRUSH>(background.get()));
    }

    Gdiplus::GpGraphics* made = nullptr;
    gp::GdipCreateFromHDC(dc, &made);
    gdi::Graphics graphics(made);
    if (!graphics) return;
    gp::GdipSetSmoothingMode(graphics.get(), Gdiplus::SmoothingModeAntiAlias);
    gp::GdipSetTextRenderingHint(graphics.get(), Gdiplus::TextRenderingHintClearTypeGridFit);
    gp::GdipSetInterpolationMode(graphics.get(), Gdiplus::InterpolationModeHighQualityBicubic);

    Canvas canvas(dc, graphics.get(), input, width, height);
    paintTitleBar(canvas);
    paintSidebar(canvas);
    paintContent(canvas);
    paintToast(canvas);
    paintBanner(canvas);

    gp::GdipFlush(graphics.get(), Gdiplus::FlushIntentionSync);
    buffer.blit();
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
    input.installed = &installedApps();
    paintFrame(dc, client, input);
}

#include "ui/paint.h"

#include "core/config.h"
#include "download/download_folder.h"
#include "net/icon_loader.h"
#include "ui/draw.h"
#include "ui/gdi_guards.h"
#include "ui/keyboard_focus.h"
#include "ui/paint_context.h"
#include "ui/palette.h"
#include "ui/search_text.h"

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

bool inCategory(const AppInfo& app, const std::wstring& categoryId)
{
    for (const auto& id : app.categoryIds)
        if (id == categoryId) return true;
    return false;
}

RECT toRect(const Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }

}  // namespace

FrameContent gatherContent(const FrameInput& input)
{
    FrameContent content;
    const Catalog& catalog = input.catalog;
    const ViewState& view = input.view;
    if (isSearching(view)) {
        const std::wstring query = searchQuery(view.searchText);
        content.searching = true;
        content.shownApps = view.searchResults;
        content.heading = searchHeading(query, content.shownApps.size());
        content.emptyText = noSearchResultsText(query);
        return content;
    }
    const std::wstring& current = view.currentCategoryId;
    std::wstring name;
    for (const auto& category : catalog.categories)
        if (category.id == current) {
            name = category.name;
            break;
        }
    for (const auto& app : catalog.apps)
        if (app && inCategory(*app, current)) content.shownApps.push_back(app);
    if (name.empty() && catalog.categories.empty())
        content.heading = L"暂无分类";
    else
        content.heading = name + L" · " + std::to_wstring(content.shownApps.size()) + L" 款";
    content.emptyText = catalog.categories.empty() ? L"暂无分类，请在管理后台添加" : L"该分类暂无应用";
    return content;
}

FrameLayout layoutFrame(const FrameInput& input, const FrameContent& content, int width, int height)
{
    const ViewState& view = input.view;
    LayoutInput in;
    in.pixelWidth = width;
    in.pixelHeight = height;
    in.scale = input.scale;
    in.page = view.page;
    in.loading = view.loading;
    in.loadFailed = view.loadFailed;
    const auto& categories = input.catalog.categories;
    in.categoryCount = static_cast<int>(categories.size());
    for (size_t i = 0; i < categories.size() && view.page == Page::Catalog && !content.searching; ++i)
        if (categories[i].id == view.currentCategoryId) {
            in.selectedCategory = static_cast<int>(i);
            break;
        }
    for (const auto& app : content.shownApps) in.shownApps.push_back(app->id);
    for (const auto& entry : input.tasks)
        in.tasks.push_back({entry.second.id, entry.second.state, entry.second.isArchive});
    in.sidebarScroll = view.sidebarScroll;
    in.listScroll = view.listScroll;
    in.panelScroll = view.panelScroll;
    in.toastUp = toastIsUp(input.now, view.toast.shownAt, !view.toast.text.empty());
    in.bannerUp = bannerIsUp(input.now, view.banner.shownAt, !view.banner.title.empty());
    in.searchHasText = !view.searchText.empty();
    return layoutFrame(in);
}

void adoptLayout(ViewState& view, const FrameLayout& layout)
{
    view.hitZones.clear();
    for (const LayoutZone& zone : layout.zones) view.hitZones.push_back({toRect(zone.pixels), zone.kind, zone.id});
    view.sidebarScroll = layout.sidebarOffset;
    view.listScroll = layout.listOffset;
    view.panelScroll = layout.panelOffset;
    if (!layout.toastUp) view.toast.text.clear();
    if (!layout.bannerUp) view.banner.title.clear();
    view.focus = repairFocus(layout, view.focus);
    view.layout = layout;
}

void drawFrame(HDC target, const FrameLayout& layout, const FrameInput& input, const FrameContent& content)
{
    const int width = layout.pixelWidth;
    const int height = layout.pixelHeight;
    if (width <= 0 || height <= 0) return;
    // Before any icon is drawn: requests for icons the last frame no longer
    // showed are dropped, and the oldest decoded icons let go.
    beginIconFrame();

    FrameSurface& surface = frameSurface();
    if (!surface.prepare(width, height)) return;
    HDC dc = surface.dc();
    fillOpaqueRect(dc, {0, 0, width, height}, kWindowBackground);
    GdiFlush();

    Gdiplus::GpGraphics* made = nullptr;
    gp::GdipGetImageGraphicsContext(surface.image(), &made);
    gdi::Graphics graphics(made);
    if (!graphics) return;
    gp::GdipSetSmoothingMode(graphics.get(), Gdiplus::SmoothingModeAntiAlias);
    gp::GdipSetTextRenderingHint(graphics.get(), Gdiplus::TextRenderingHintClearTypeGridFit);
    gp::GdipSetInterpolationMode(graphics.get(), Gdiplus::InterpolationModeHighQualityBicubic);

    gdi::MemoryDc iconSource(CreateCompatibleDC(dc));
    ChromeCache chrome;
    Canvas canvas(dc, graphics.get(), input, content, layout);
    canvas.iconSource = iconSource.get();
    canvas.chrome = &chrome;
    paintTitleBar(canvas);
    paintSidebar(canvas);
    paintContent(canvas);
    paintPressAndFocus(canvas);
    paintToast(canvas);
    paintBanner(canvas);

    gp::GdipFlush(graphics.get(), Gdiplus::FlushIntentionSync);
    GdiFlush();
    BitBlt(target, 0, 0, width, height, dc, 0, 0, SRCCOPY);
}

void paintFrame(HDC target, const RECT& client, FrameInput& input)
{
    const FrameContent content = gatherContent(input);
    const FrameLayout layout = layoutFrame(input, content, client.right - client.left, client.bottom - client.top);
    adoptLayout(input.view, layout);
    drawFrame(target, layout, input, content);
}

void paintMainWindow(HDC dc, const RECT& client)
{
    ViewState& view = viewState();
    ensureLogoLoaded(view);
    FrameInput input(view, appCatalog());
    input.tasks = DownloadManager::instance().snapshot();
    input.serverUrl = g_config.server;
    // The last folder a worker resolved: painting never waits for a disk.
    input.downloadFolder = knownDownloadFolder();
    input.maximized = view.mainWindow && IsZoomed(view.mainWindow);
    input.now = GetTickCount();
    input.iconWindow = view.mainWindow;
    input.scale = view.scale;
    paintFrame(dc, client, input);
}

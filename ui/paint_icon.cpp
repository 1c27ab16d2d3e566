// An app's icon: the decoded image once the loader has it, else a lettered
// placeholder in the app's colour. Asks for the image on first sight, and
// tells the loader about every icon drawn so it keeps the ones on screen.

#include "net/icon_loader.h"
#include "ui/card_look.h"
#include "ui/gdi_guards.h"
#include "ui/paint_context.h"

namespace gp = Gdiplus::DllExports;

namespace {

// At its own size (a card's icon) a plain copy: no GDI+ image per icon and frame.
bool copyIcon(const Canvas& c, HBITMAP bitmap, const Rect& pixels)
{
    if (!c.iconSource) return false;
    HGDIOBJ previous = SelectObject(c.iconSource, bitmap);
    if (!previous) return false;
    BitBlt(c.dc, pixels.left, pixels.top, pixels.width(), pixels.height(), c.iconSource, 0, 0, SRCCOPY);
    GdiFlush();
    // Deselected at once: the loader may delete the bitmap before the next frame.
    SelectObject(c.iconSource, previous);
    return true;
}

// Smaller (panel rows, banner): scaled with the frame's high-quality interpolation.
bool scaleIcon(const Canvas& c, HBITMAP bitmap, const Rect& rect)
{
    Gdiplus::GpBitmap* made = nullptr;
    gp::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &made);
    gdi::Image image(made);
    if (!image) return false;
    c.image(image.get(), rect);
    return true;
}

bool paintLoadedIcon(const Canvas& c, const AppInfo& app, const Rect& rect)
{
    if (app.iconState.load() != 2 || !app.iconBitmap) return false;
    BITMAP info{};
    if (!GetObjectW(app.iconBitmap, sizeof info, &info)) return false;
    const Rect pixels = c.px(rect);
    if (info.bmWidth == pixels.width() && info.bmHeight == pixels.height() && copyIcon(c, app.iconBitmap, pixels))
        return true;
    return scaleIcon(c, app.iconBitmap, rect);
}

}  // namespace

void paintAppIcon(const Canvas& c, const std::shared_ptr<AppInfo>& app, const Rect& rect)
{
    if (app) {
        noteIconDrawn(*app);
        if (!app->icon.empty() && app->iconState.load() == 0 && c.input.iconWindow)
            startIconLoad(c.input.catalog, c.input.iconWindow, app, c.input.serverUrl);
        if (paintLoadedIcon(c, *app, rect)) return;
    }

    PlaceholderLook look = placeholderLook(app ? app->id : 0, app != nullptr);
    float radius = static_cast<float>(rect.width() * 12 / 64);
    c.fillRoundRect(rect, radius, look.fill);
    c.strokeRoundRect(rect, radius, look.outline);
    c.text(c.fonts.iconLetter, placeholderLetter(app ? app->name : std::wstring()), rect, look.letter,
           DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

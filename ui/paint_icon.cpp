// An app's icon: the decoded image once the loader has it, else a lettered
// placeholder in the app's colour. Asks for the image on first sight, and
// tells the loader about every icon drawn so it keeps the ones on screen.

#include "net/icon_loader.h"
#include "ui/card_look.h"
#include "ui/draw.h"
#include "ui/gdi_guards.h"
#include "ui/paint_context.h"

namespace gp = Gdiplus::DllExports;

namespace {

// At its own size (a card's icon) a plain copy: no GDI+ image per icon and frame.
bool copyIcon(Canvas& c, HBITMAP bitmap, const Rect& rect)
{
    if (!c.iconSource) return false;
    HGDIOBJ previous = SelectObject(c.iconSource, bitmap);
    if (!previous) return false;
    BitBlt(c.dc, rect.left, rect.top, rect.width(), rect.height(), c.iconSource, 0, 0, SRCCOPY);
    GdiFlush();
    // Deselected at once: the loader may delete the bitmap before the next frame.
    SelectObject(c.iconSource, previous);
    return true;
}

// Smaller (panel rows, banner): scaled with the frame's high-quality interpolation.
bool scaleIcon(Canvas& c, HBITMAP bitmap, const Rect& rect)
{
    Gdiplus::GpBitmap* made = nullptr;
    gp::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &made);
    gdi::Image image(made);
    if (!image) return false;
    drawImage(c.g, image.get(), rect);
    return true;
}

bool paintLoadedIcon(Canvas& c, const AppInfo& app, const Rect& rect)
{
    if (app.iconState.load() != 2 || !app.iconBitmap) return false;
    BITMAP info{};
    if (!GetObjectW(app.iconBitmap, sizeof info, &info)) return false;
    if (info.bmWidth == rect.width() && info.bmHeight == rect.height() && copyIcon(c, app.iconBitmap, rect))
        return true;
    return scaleIcon(c, app.iconBitmap, rect);
}

}  // namespace

void paintAppIcon(Canvas& c, const std::shared_ptr<AppInfo>& app, const Rect& rect)
{
    if (app) {
        noteIconDrawn(*app);
        if (!app->icon.empty() && app->iconState.load() == 0 && c.input.iconWindow)
            startIconLoad(c.input.catalog, c.input.iconWindow, app, c.input.serverUrl);
        if (paintLoadedIcon(c, *app, rect)) return;
    }

    PlaceholderLook look = placeholderLook(app ? app->id : 0, app != nullptr);
    float radius = static_cast<float>(rect.width() * 12 / 64);
    fillRoundRect(c.g, rect, radius, look.fill);
    strokeRoundRect(c.g, rect, radius, look.outline);
    drawText(c.dc, c.fonts.iconLetter, placeholderLetter(app ? app->name : std::wstring()), rect, look.letter,
             DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

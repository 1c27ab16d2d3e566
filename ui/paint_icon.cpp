// An app's icon: the decoded image once the loader has it, else a lettered
// placeholder in the app's colour. Asks for the image on first sight.

#include "net/icon_loader.h"
#include "ui/card_look.h"
#include "ui/draw.h"
#include "ui/gdi_guards.h"
#include "ui/paint_context.h"

namespace gp = Gdiplus::DllExports;

namespace {

bool paintLoadedIcon(Canvas& c, const AppInfo& app, const Rect& rect)
{
    if (app.iconState.load() != 2 || !app.iconBitmap) return false;
    Gdiplus::GpBitmap* made = nullptr;
    gp::GdipCreateBitmapFromHBITMAP(app.iconBitmap, nullptr, &made);
    gdi::Image image(made);
    if (!image) return false;
    drawImage(c.g, image.get(), rect);
    return true;
}

}  // namespace

void paintAppIcon(Canvas& c, const std::shared_ptr<AppInfo>& app, const Rect& rect)
{
    if (app && !app->icon.empty() && app->iconState.load() == 0 && c.input.iconWindow)
        startIconLoad(c.input.catalog, c.input.iconWindow, app, c.input.serverUrl);
    if (app && paintLoadedIcon(c, *app, rect)) return;

    PlaceholderLook look = placeholderLook(app ? app->id : 0, app != nullptr);
    float radius = static_cast<float>(rect.width() * 12 / 64);
    fillRoundRect(c.g, rect, radius, look.fill);
    strokeRoundRect(c.g, rect, radius, look.outline);
    drawText(c.dc, c.fonts.iconLetter, placeholderLetter(app ? app->name : std::wstring()), rect, look.letter,
             DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

#include "ui/fonts.h"

namespace {

HFONT makeFont(int pixelHeight, int weight)
{
    return CreateFontW(-pixelHeight, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH, L"Microsoft YaHei");
}

}  // namespace

Fonts createFonts()
{
    Fonts f;
    f.title = makeFont(22, FW_BOLD);
    f.logoGlyph = makeFont(19, FW_BOLD);
    f.tagline = makeFont(13, FW_NORMAL);
    f.strong = makeFont(16, FW_BOLD);
    f.body = makeFont(14, FW_NORMAL);
    f.small = makeFont(13, FW_NORMAL);
    f.button = makeFont(14, FW_NORMAL);
    f.heading = makeFont(20, FW_BOLD);
    f.sidebar = makeFont(15, FW_NORMAL);
    f.status = makeFont(14, FW_NORMAL);
    f.toast = makeFont(14, FW_NORMAL);
    f.iconLetter = makeFont(32, FW_BOLD);
    f.headerButton = makeFont(15, FW_NORMAL);
    return f;
}

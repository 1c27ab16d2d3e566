// The canvas's drawing calls: layout units in, pixels out.

#include "ui/paint_context.h"

void Canvas::fillRoundRect(const Rect& r, float radius, Argb colour) const
{
    ::fillRoundRect(g, px(r), x(radius), colour);
}

void Canvas::strokeRoundRect(const Rect& r, float radius, Argb colour, float width) const
{
    ::strokeRoundRect(g, px(r), x(radius), colour, scale.pen(width));
}

void Canvas::fillRectangle(const Rect& r, Argb colour) const { ::fillRectangle(g, px(r), colour); }

void Canvas::fillOpaque(const Rect& r, TextColor colour) const { fillOpaqueRect(dc, px(r), colour); }

void Canvas::fillGradient(const Rect& r, Argb left, Argb right) const { fillHorizontalGradient(dc, px(r), left, right); }

void Canvas::line(Argb colour, float width, float x1, float y1, float x2, float y2) const
{
    drawLine(g, colour, scale.pen(width), x(x1), x(y1), x(x2), x(y2));
}

void Canvas::polyline(Argb colour, float width, const std::vector<std::pair<float, float>>& points) const
{
    std::vector<std::pair<float, float>> scaled;
    for (const auto& p : points) scaled.emplace_back(x(p.first), x(p.second));
    drawPolyline(g, colour, scale.pen(width), scaled);
}

void Canvas::rectangleOutline(Argb colour, float width, float left, float top, float w, float h) const
{
    drawRectangleOutline(g, colour, scale.pen(width), x(left), x(top), x(w), x(h));
}

void Canvas::ellipseOutline(Argb colour, float width, float left, float top, float w, float h) const
{
    drawEllipseOutline(g, colour, scale.pen(width), x(left), x(top), x(w), x(h));
}

void Canvas::image(Gdiplus::GpImage* picture, const Rect& r) const { drawImage(g, picture, px(r)); }

void Canvas::text(HFONT font, const std::wstring& label, const Rect& r, TextColor colour, UINT format) const
{
    drawText(dc, font, label, px(r), colour, format);
}

int Canvas::textWidth(HFONT font, const std::wstring& label) const
{
    const int pixels = ::textWidth(dc, font, label);
    return scale.covering(pixels);
}

void Canvas::panel(const Rect& r, float radius, Argb fill, Argb outline, TextColor under) const
{
    if (chrome && chrome->paint(dc, px(r), x(radius), fill, outline, under, scale.pen(1.0f))) return;
    fillRoundRect(r, radius, fill);
    if (outline >> 24) strokeRoundRect(r, radius, outline);
}

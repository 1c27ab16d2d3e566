#include "ui/draw.h"

#include <algorithm>

#include "ui/gdi_guards.h"

namespace gp = Gdiplus::DllExports;

namespace {

gdi::Brush solidBrush(Argb colour)
{
    Gdiplus::GpSolidFill* brush = nullptr;
    gp::GdipCreateSolidFill(colour, &brush);
    return gdi::Brush(brush);
}

gdi::Pen pen(Argb colour, float width)
{
    Gdiplus::GpPen* made = nullptr;
    gp::GdipCreatePen1(colour, width, Gdiplus::UnitPixel, &made);
    return gdi::Pen(made);
}

gdi::Path roundRectPath(const Rect& rect, float radius)
{
    Gdiplus::GpPath* path = nullptr;
    gp::GdipCreatePath(Gdiplus::FillModeAlternate, &path);
    gdi::Path owned(path);
    if (owned) addRoundRect(owned.get(), rect, radius);
    return owned;
}

}  // namespace

void addRoundRect(Gdiplus::GpPath* path, const Rect& rect, float radius)
{
    // A radius larger than half a side would fold the arcs over each other
    // (a progress overlay only a few pixels wide).
    float limit = static_cast<float>(std::min(rect.width(), rect.height())) / 2.0f;
    float d = std::min(radius, limit) * 2.0f;
    if (d <= 0.0f) {
        gp::GdipAddPathRectangleI(path, rect.left, rect.top, rect.width(), rect.height());
        return;
    }
    float left = static_cast<float>(rect.left);
    float top = static_cast<float>(rect.top);
    float right = static_cast<float>(rect.right);
    float bottom = static_cast<float>(rect.bottom);
    gp::GdipAddPathArc(path, left, top, d, d, 180.0f, 90.0f);
    gp::GdipAddPathArc(path, right - d, top, d, d, 270.0f, 90.0f);
    gp::GdipAddPathArc(path, right - d, bottom - d, d, d, 0.0f, 90.0f);
    gp::GdipAddPathArc(path, left, bottom - d, d, d, 90.0f, 90.0f);
    gp::GdipClosePathFigure(path);
}

void fillRoundRect(Gdiplus::GpGraphics* graphics, const Rect& rect, float radius, Argb colour)
{
    if (rect.width() <= 0 || rect.height() <= 0) return;
    gdi::Path path = roundRectPath(rect, radius);
    gdi::Brush brush = solidBrush(colour);
    if (path && brush) gp::GdipFillPath(graphics, brush.get(), path.get());
}

void strokeRoundRect(Gdiplus::GpGraphics* graphics, const Rect& rect, float radius, Argb colour, float width)
{
    if (rect.width() <= 0 || rect.height() <= 0) return;
    gdi::Path path = roundRectPath(rect, radius);
    gdi::Pen outline = pen(colour, width);
    if (path && outline) gp::GdipDrawPath(graphics, outline.get(), path.get());
}

void fillRectangle(Gdiplus::GpGraphics* graphics, const Rect& rect, Argb colour)
{
    if (rect.width() <= 0 || rect.height() <= 0) return;
    gdi::Brush brush = solidBrush(colour);
    if (brush) gp::GdipFillRectangleI(graphics, brush.get(), rect.left, rect.top, rect.width(), rect.height());
}

void fillHorizontalGradient(Gdiplus::GpGraphics* graphics, const Rect& rect, Argb left, Argb right)
{
    if (rect.width() <= 0 || rect.height() <= 0) return;
    Gdiplus::PointF from(static_cast<float>(rect.left), 0.0f);
    Gdiplus::PointF to(static_cast<float>(rect.right), 0.0f);
    Gdiplus::GpLineGradient* made = nullptr;
    gp::GdipCreateLineBrush(&from, &to, left, right, Gdiplus::WrapModeTileFlipX, &made);
    gdi::Brush brush(made);
    if (brush) gp::GdipFillRectangleI(graphics, brush.get(), rect.left, rect.top, rect.width(), rect.height());
}

void fillOpaqueRect(HDC dc, const Rect& rect, TextColor colour)
{
    if (rect.width() <= 0 || rect.height() <= 0) return;
    gdi::GdiObject brush(CreateSolidBrush(static_cast<COLORREF>(colour)));
    RECT r{rect.left, rect.top, rect.right, rect.bottom};
    if (brush) FillRect(dc, &r, static_cast<HBRUSH>(brush.get()));
}

void fillHorizontalGradient(HDC dc, const Rect& rect, Argb left, Argb right)
{
    if (rect.width() <= 0 || rect.height() <= 0) return;
    auto vertex = [](LONG x, LONG y, Argb c) {
        TRIVERTEX v{};
        v.x = x;
        v.y = y;
        v.Red = static_cast<COLOR16>(((c >> 16) & 0xFF) << 8);
        v.Green = static_cast<COLOR16>(((c >> 8) & 0xFF) << 8);
        v.Blue = static_cast<COLOR16>((c & 0xFF) << 8);
        v.Alpha = static_cast<COLOR16>(((c >> 24) & 0xFF) << 8);
        return v;
    };
    TRIVERTEX vertices[2] = {vertex(rect.left, rect.top, left), vertex(rect.right, rect.bottom, right)};
    GRADIENT_RECT span{0, 1};
    GdiGradientFill(dc, vertices, 2, &span, 1, GRADIENT_FILL_RECT_H);
}

void drawLine(Gdiplus::GpGraphics* graphics, Argb colour, float width, float x1, float y1, float x2, float y2)
{
    gdi::Pen line = pen(colour, width);
    if (line) gp::GdipDrawLine(graphics, line.get(), x1, y1, x2, y2);
}

void drawPolyline(Gdiplus::GpGraphics* graphics, Argb colour, float width,
                  const std::vector<std::pair<float, float>>& points)
{
    std::vector<Gdiplus::PointF> gpPoints;
    for (const auto& p : points) gpPoints.emplace_back(p.first, p.second);
    gdi::Pen line = pen(colour, width);
    if (line && gpPoints.size() > 1)
        gp::GdipDrawLines(graphics, line.get(), gpPoints.data(), static_cast<INT>(gpPoints.size()));
}

void drawRectangleOutline(Gdiplus::GpGraphics* graphics, Argb colour, float width, float x, float y, float w, float h)
{
    gdi::Pen line = pen(colour, width);
    if (line) gp::GdipDrawRectangle(graphics, line.get(), x, y, w, h);
}

void drawEllipseOutline(Gdiplus::GpGraphics* graphics, Argb colour, float width, float x, float y, float w, float h)
{
    gdi::Pen line = pen(colour, width);
    if (line) gp::GdipDrawEllipse(graphics, line.get(), x, y, w, h);
}

void drawImage(Gdiplus::GpGraphics* graphics, Gdiplus::GpImage* image, const Rect& rect)
{
    gp::GdipDrawImageRectI(graphics, image, rect.left, rect.top, rect.width(), rect.height());
}

void drawText(HDC dc, HFONT font, const std::wstring& text, const Rect& rect, TextColor colour, UINT format)
{
    if (text.empty()) return;
    gdi::Selection selected(dc, font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, static_cast<COLORREF>(colour));
    RECT r{rect.left, rect.top, rect.right, rect.bottom};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, format | DT_NOPREFIX);
    // GDI+ draws into the same pixels next.
    GdiFlush();
}

int textWidth(HDC dc, HFONT font, const std::wstring& text)
{
    if (text.empty()) return 0;
    gdi::Selection selected(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

HBITMAP createTopDownDib(HDC dc, int width, int height, void** bits)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    *bits = nullptr;
    return CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

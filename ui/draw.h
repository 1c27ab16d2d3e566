#pragma once
// Drawing primitives of the painters: rounded rectangles, lines and text. Each
// call makes and frees its own brush, pen or path.

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <string>
#include <utility>
#include <vector>

#include "ui/layout.h"
#include "ui/palette.h"

// A 32-bit top-down DIB section of width x height for dc, its pixels in *bits
// (the layout GDI+ reads as 32bpp rows); null when it cannot be made.
HBITMAP createTopDownDib(HDC dc, int width, int height, void** bits);

// Appends a closed figure of four 90° corner arcs (diameter 2 × radius) to path.
void addRoundRect(Gdiplus::GpPath* path, const Rect& rect, float radius);
// Fills such a figure with a solid colour.
void fillRoundRect(Gdiplus::GpGraphics* graphics, const Rect& rect, float radius, Argb colour);
// Outlines such a figure with a pen of the given width.
void strokeRoundRect(Gdiplus::GpGraphics* graphics, const Rect& rect, float radius, Argb colour, float width = 1.0f);
void fillRectangle(Gdiplus::GpGraphics* graphics, const Rect& rect, Argb colour);
// A horizontal gradient from the left edge's colour to the right edge's.
void fillHorizontalGradient(Gdiplus::GpGraphics* graphics, const Rect& rect, Argb left, Argb right);
void drawLine(Gdiplus::GpGraphics* graphics, Argb colour, float width, float x1, float y1, float x2, float y2);
void drawPolyline(Gdiplus::GpGraphics* graphics, Argb colour, float width,
                  const std::vector<std::pair<float, float>>& points);
void drawRectangleOutline(Gdiplus::GpGraphics* graphics, Argb colour, float width, float x, float y, float w, float h);
void drawEllipseOutline(Gdiplus::GpGraphics* graphics, Argb colour, float width, float x, float y, float w, float h);
// Opaque axis-aligned fills through GDI: the same pixels as GDI+ for a
// fraction of the cost on large areas.
void fillOpaqueRect(HDC dc, const Rect& rect, TextColor colour);
void fillHorizontalGradient(HDC dc, const Rect& rect, Argb left, Argb right);
// Draws a GDI+ image scaled into rect.
void drawImage(Gdiplus::GpGraphics* graphics, Gdiplus::GpImage* image, const Rect& rect);

// GDI text in a transparent mode; format takes DT_* flags (DT_NOPREFIX is added).
void drawText(HDC dc, HFONT font, const std::wstring& text, const Rect& rect, TextColor colour, UINT format);
// Single line, vertically centred, with an end ellipsis: the usual label.
constexpr UINT kCentredLine = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS;
constexpr UINT kLeftLine = DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS;
int textWidth(HDC dc, HFONT font, const std::wstring& text);

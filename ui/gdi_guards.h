#pragma once
// Scoped owners for what a paint creates: GDI brushes, pens, DCs and bitmaps,
// the selection of an object into a DC, clip regions, and GDI+ graphics,
// paths, brushes, pens and images. Each owner frees its object exactly once,
// so a paint that stops half-way leaks nothing.
//
// Every owner counts itself in liveGdiObjects(): a frame must end with the
// count it started with (Wine has no GDI object count of its own to check).

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <atomic>
#include <utility>

#include "ui/layout.h"

namespace gdi {

std::atomic<int>& liveObjectCounter();
std::atomic<long>& createdObjectCounter();
inline int liveGdiObjects() { return liveObjectCounter().load(); }
inline long createdGdiObjects() { return createdObjectCounter().load(); }

// A counted owner of one handle; Free releases it.
template <typename T, typename Free>
class Owned {
public:
    Owned() = default;
    explicit Owned(T value) : value_(value)
    {
        if (value_) {
            ++liveObjectCounter();
            ++createdObjectCounter();
        }
    }
    ~Owned() { reset(); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
    Owned(Owned&& other) noexcept : value_(std::exchange(other.value_, T{})) {}
    Owned& operator=(Owned&& other) noexcept
    {
        if (this != &other) {
            reset();
            value_ = std::exchange(other.value_, T{});
        }
        return *this;
    }
    T get() const { return value_; }
    explicit operator bool() const { return value_ != T{}; }
    void reset()
    {
        if (value_) {
            Free()(value_);
            --liveObjectCounter();
        }
        value_ = T{};
    }

private:
    T value_{};
};

struct DeleteGdiObject {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
struct DeleteMemoryDc {
    void operator()(HDC dc) const { DeleteDC(dc); }
};
struct DeleteGraphics {
    void operator()(Gdiplus::GpGraphics* g) const { Gdiplus::DllExports::GdipDeleteGraphics(g); }
};
struct DeletePath {
    void operator()(Gdiplus::GpPath* p) const { Gdiplus::DllExports::GdipDeletePath(p); }
};
struct DeleteBrush {
    void operator()(Gdiplus::GpBrush* b) const { Gdiplus::DllExports::GdipDeleteBrush(b); }
};
struct DeletePen {
    void operator()(Gdiplus::GpPen* p) const { Gdiplus::DllExports::GdipDeletePen(p); }
};
struct DisposeImage {
    void operator()(Gdiplus::GpImage* i) const { Gdiplus::DllExports::GdipDisposeImage(i); }
};

using GdiObject = Owned<HGDIOBJ, DeleteGdiObject>;
using MemoryDc = Owned<HDC, DeleteMemoryDc>;
using Graphics = Owned<Gdiplus::GpGraphics*, DeleteGraphics>;
using Path = Owned<Gdiplus::GpPath*, DeletePath>;
using Brush = Owned<Gdiplus::GpBrush*, DeleteBrush>;
using Pen = Owned<Gdiplus::GpPen*, DeletePen>;
using Image = Owned<Gdiplus::GpImage*, DisposeImage>;

// Selects an object into a DC and puts the previous one back.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(object ? SelectObject(dc, object) : nullptr) {}
    ~Selection()
    {
        if (previous_) SelectObject(dc_, previous_);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// Narrows drawing on both the DC and its GDI+ graphics to a rectangle until
// the guard leaves scope.
class Clip {
public:
    Clip(HDC dc, Gdiplus::GpGraphics* graphics, const Rect& rect);
    ~Clip();
    Clip(const Clip&) = delete;
    Clip& operator=(const Clip&) = delete;

private:
    HDC dc_;
    int savedDc_;
    Gdiplus::GpGraphics* graphics_;
    Gdiplus::GraphicsState savedGraphics_ = 0;
};

}  // namespace gdi

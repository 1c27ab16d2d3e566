#pragma once
// The one conversion from layout units to pixels. The layout keeps the
// design's numbers (96 DPI); a Scale turns them into pixels of a screen at
// another DPI: value x dpi / 96, rounded half away from zero. Platform-free.

#include "ui/layout.h"

constexpr int kBaseDpi = 96;

struct Scale {
    int dpi = kBaseDpi;

    static Scale forDpi(int dpi) { return Scale{dpi > 0 ? dpi : kBaseDpi}; }
    bool identity() const { return dpi == kBaseDpi; }

    // A length or a coordinate in pixels.
    int px(int logical) const;
    // Each edge on its own, so rectangles that touch keep touching.
    Rect px(const Rect& logical) const;
    // Radii and drawn coordinates: not rounded, GDI+ draws between pixels.
    float pxf(float logical) const { return logical * static_cast<float>(dpi) / kBaseDpi; }
    // A pen: whole widths stay whole pixels (a 1 px line stays sharp), others
    // scale as they are.
    float pen(float logical) const;
    // The layout length that covers this many pixels (rounded up), so that
    // things laid out against the right or bottom edge reach it.
    int covering(int pixels) const;
    // Pixels back to layout units, rounded: distances the pointer moved.
    int logical(int pixels) const;
};

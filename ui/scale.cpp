#include "ui/scale.h"

#include <cmath>
#include <cstdint>

namespace {

// round(value x numerator / denominator), halves away from zero.
int scaleRounded(int value, int numerator, int denominator)
{
    const int64_t twice = 2 * static_cast<int64_t>(value) * numerator;
    const int64_t rounded = twice >= 0 ? (twice + denominator) / (2 * denominator)
                                       : -((-twice + denominator) / (2 * denominator));
    return static_cast<int>(rounded);
}

}  // namespace

int Scale::px(int logical) const { return dpi == kBaseDpi ? logical : scaleRounded(logical, dpi, kBaseDpi); }

Rect Scale::px(const Rect& r) const { return {px(r.left), px(r.top), px(r.right), px(r.bottom)}; }

float Scale::pen(float logical) const
{
    if (logical == std::floor(logical)) return static_cast<float>(px(static_cast<int>(logical)));
    return pxf(logical);
}

int Scale::covering(int pixels) const
{
    if (dpi == kBaseDpi || pixels <= 0) return pixels;
    return static_cast<int>((static_cast<int64_t>(pixels) * kBaseDpi + dpi - 1) / dpi);
}

int Scale::logical(int pixels) const { return dpi == kBaseDpi ? pixels : scaleRounded(pixels, kBaseDpi, dpi); }

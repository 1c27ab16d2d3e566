#pragma once
// The main window's 13 fonts, "Microsoft YaHei" at the design's pixel heights
// times the window's scale.

#include <vector>

#include "ui/gdi_guards.h"
#include "ui/scale.h"
#include "ui/view_state.h"

// Owns one set of the fonts; a set made for a new scale replaces the old one
// and frees it. A font that cannot be made stays null and text falls back to
// the DC's font.
class FontSet {
public:
    FontSet() = default;
    explicit FontSet(const Scale& scale);

    const Fonts& fonts() const { return fonts_; }

private:
    Fonts fonts_;
    std::vector<gdi::GdiObject> owned_;
};

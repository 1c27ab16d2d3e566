#include "ui/fonts.h"

FontSet::FontSet(const Scale& scale)
{
    auto make = [&](int pixelHeight, int weight) {
        owned_.emplace_back(CreateFontW(-scale.px(pixelHeight), 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH,
                                        L"Microsoft YaHei"));
        return static_cast<HFONT>(owned_.back().get());
    };
    fonts_.title = make(22, FW_BOLD);
    fonts_.logoGlyph = make(19, FW_BOLD);
    fonts_.tagline = make(13, FW_NORMAL);
    fonts_.strong = make(16, FW_BOLD);
    fonts_.body = make(14, FW_NORMAL);
    fonts_.small = make(13, FW_NORMAL);
    fonts_.button = make(14, FW_NORMAL);
    fonts_.heading = make(20, FW_BOLD);
    fonts_.sidebar = make(15, FW_NORMAL);
    fonts_.status = make(14, FW_NORMAL);
    fonts_.toast = make(14, FW_NORMAL);
    fonts_.iconLetter = make(32, FW_BOLD);
    fonts_.headerButton = make(15, FW_NORMAL);
}

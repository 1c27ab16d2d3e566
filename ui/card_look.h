#pragma once
// How an app card's action button and its icon placeholder look, decided from
// plain numbers so the table is tested natively.

#include <cstdint>
#include <string>

#include "ui/installed_card.h"
#include "ui/palette.h"

// The part of a download task the card button depends on.
struct ButtonTask {
    int32_t state = 0;
    int64_t received = 0;
    int64_t size = 0;
    bool isArchive = false;
};

struct CardButtonLook {
    std::wstring label;
    Argb fill = 0;
    TextColor labelColor = 0;
    int overlayWidth = 0;  // progress overlay from the left edge; 0: none
};

// task null: the app has no task. hovered: the pointer is over the card's button.
CardButtonLook cardButtonLook(bool hasPackage, const ButtonTask* task, bool hovered);

// The button of an app without a task that is installed already ("已安装" in
// the installed look, or "可更新" in the accent look); for None the rows above.
CardButtonLook installedButtonLook(InstalledCard card, bool hasPackage, bool hovered);

// The lettered placeholder's colours for an app id of any sign; without an app
// the first palette colour.
struct PlaceholderLook {
    TextColor letter = 0;
    Argb fill = 0;     // 14 % of the colour over white
    Argb outline = 0;  // 30 % of the colour over white
};
PlaceholderLook placeholderLook(int32_t appId, bool hasApp);

// The placeholder's letter: the name's first character (a surrogate pair kept
// whole), "?" for an empty name.
std::wstring placeholderLetter(const std::wstring& name);
